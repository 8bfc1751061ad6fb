// The table of native VU1 programs, found by the name in the signature of
// the image uploaded with MPG (docs/vu1.md). One file per program.
#include "platform.h"

int Vu1TestProgram(Vu1Run& run);
int Vu1XformProgram(Vu1Run& run);

// Programs the renderer uploads but that have no native program yet are not
// listed: entering one is a fatal error naming it.
const Vu1ProgramRow vu1_programs[] = {
    {"vu1test", Vu1TestProgram},
    {"xform", Vu1XformProgram},
};
const int vu1_program_count = int(sizeof vu1_programs / sizeof vu1_programs[0]);
