// eraserprep: prepares the eraser's mask folder (the current folder).
#include <cstdio>

#include "tools/eraserprep/eraserprep.h"

int main() {
    vx::eraserprep::Run(stdout);
    return 0;
}
