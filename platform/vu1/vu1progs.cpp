// The table of native VU1 programs, found by the name in the signature of
// the image uploaded with MPG (docs/vu1.md). One file per program.
#include "platform.h"

int Vu1TestProgram(Vu1Run& run);
int Vu1XformProgram(Vu1Run& run);
int Vu1TriProgram(Vu1Run& run);
int Vu1TricProgram(Vu1Run& run);
int Vu1TricuProgram(Vu1Run& run);
int Vu1TricufProgram(Vu1Run& run);
int Vu1TricaProgram(Vu1Run& run);
int Vu1XformuvProgram(Vu1Run& run);
int Vu1Fx2Program(Vu1Run& run);
int Vu1Fx3Program(Vu1Run& run);
int Vu1FogProgram(Vu1Run& run);
int Vu1PtlProgram(Vu1Run& run);
int Vu1FxProgram(Vu1Run& run);
int Vu1WaterProgram(Vu1Run& run);
int Vu1WateruvProgram(Vu1Run& run);
int Vu1NrmmapProgram(Vu1Run& run);
int Vu1TriglassProgram(Vu1Run& run);

// Programs the renderer uploads but that have no native program yet are not
// listed: entering one is a fatal error naming it.
const Vu1ProgramRow vu1_programs[] = {
    {"vu1test", Vu1TestProgram},
    {"xform", Vu1XformProgram},
    {"tri", Vu1TriProgram},
    {"tric", Vu1TricProgram},
    {"tricu", Vu1TricuProgram},
    {"tricuf", Vu1TricufProgram},
    {"trica", Vu1TricaProgram},
    {"xformuv", Vu1XformuvProgram},
    {"fx2", Vu1Fx2Program},
    {"fx3", Vu1Fx3Program},
    {"fog", Vu1FogProgram},
    {"ptl", Vu1PtlProgram},
    {"fx", Vu1FxProgram},
    {"water", Vu1WaterProgram},
    {"wateruv", Vu1WateruvProgram},
    {"nrmmap", Vu1NrmmapProgram},
    {"triglass", Vu1TriglassProgram},
};
const int vu1_program_count = int(sizeof vu1_programs / sizeof vu1_programs[0]);
