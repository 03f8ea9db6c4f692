// The desktop program.
#include "app/WindowProgram.h"

int main(int argc, char** argv)
{
    return twinspotter::runWindowProgram(argc, argv);
}
