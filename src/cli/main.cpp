#include "cli/commandline.h"
#include "cli/scandriver.h"

int main(int argc, char** argv) {
    return morwick::RunEntry(morwick::tCommandLine(argc, argv));
}
