// zestream: render streams: the stream pool and the nine frame streams, the
// two stream buffers, the segment link protocol, the flush that links the
// streams into the frame chain, the frame kick, and material, texture,
// effect-program and z-buffer changes inside a stream.
#include "ze3d.h"
