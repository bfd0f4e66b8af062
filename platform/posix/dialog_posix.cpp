// Linux has no settings dialogs: each one answers "cancelled" and changes nothing.
#include "platform/dialog.h"

namespace vx::platform {

int32_t RunColorCorrectDialog(void*, void*, ColorCorrectDialogModel&, uint32_t* lastError) {
    if (lastError) *lastError = 0;
    return kDialogCancelled;
}

int32_t RunBackgroundDialog(void*, void*, BackgroundDialogModel&) {
    return kDialogCancelled;
}

}  // namespace vx::platform
