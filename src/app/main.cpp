#include "app/window/VynMain.h"

int main(int argc, char** argv) {
    return vyn::vynMain(argc, argv);
}
