// The shared library's load notification on Linux.
#include <dlfcn.h>

#include "core/library.h"

namespace {

__attribute__((constructor)) void AttachOnLoad() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&AttachOnLoad), &info);
    vx::AttachLibrary(info.dli_fbase);
}

}  // namespace
