#include "os/Descriptor.h"

#include <windows.h>

namespace OS {

void CloseNativeHandle(NativeHandle handle) {
    CloseHandle(handle);
}

}  // namespace OS
