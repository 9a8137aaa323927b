#include "app/ProcessSetup.h"
#include "app/window/VynMain.h"

int main(int argc, char** argv) {
    vyn::ProcessSetup process(argc, argv);
    if (!process.ok()) return 1;
    return vyn::vynMain(process.argc(), process.argv());
}
