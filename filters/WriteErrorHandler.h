// The question a file sink asks when a write fails: the user may free space and go on.
#pragma once

#include "os/Errors.h"

namespace FCryptEng {

class WriteErrorHandler {
  public:
    virtual ~WriteErrorHandler();
    // errorCode is the OS::File::Error code of the failed write; true means write again.
    virtual bool RetryWrite(OS::ErrorCode errorCode) = 0;
};

}  // namespace FCryptEng
