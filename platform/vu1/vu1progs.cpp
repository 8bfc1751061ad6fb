// The table of native VU1 programs, found by the name in the signature of
// the image uploaded with MPG (docs/vu1.md). One file per program.
#include "platform.h"

int Vu1TestProgram(Vu1Run& run);

const Vu1ProgramRow vu1_programs[] = {
    {"vu1test", Vu1TestProgram},
};
const int vu1_program_count = int(sizeof vu1_programs / sizeof vu1_programs[0]);
