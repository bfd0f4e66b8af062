// The forwarding libraries' load notification on Linux.
#include <dlfcn.h>

#include "forwarder/forwarder.h"

namespace {

__attribute__((constructor)) void AttachOnLoad() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&AttachOnLoad), &info);
    vx::forwarder::AttachModule(info.dli_fbase);
}

}  // namespace
