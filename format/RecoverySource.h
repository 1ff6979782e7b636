// Whatever can add a way into every container it is given: the user's emergency password,
// the organisation's data-recovery configuration.
#pragma once

#include <memory>

#include "format/KeyEntry.h"

namespace FCryptEng {

class RecoverySource {
  public:
    virtual ~RecoverySource() = default;
    virtual std::unique_ptr<KeyEntry> MakeKeyEntry() const = 0;
};

}  // namespace FCryptEng
