// The animation writer: ".ani" images of version 2 (and 1, for the old
// loader) from a line-based description read with the engine's text parser.
// Values are given in engine space; the writer undoes the z mirror of the
// matrix builders (tz, rx and ry negated) on transform nodes, so that
// evaluation gives back what was written.
//
// Description (one statement a line, ';' starts a comment line):
//   end E                        the end frame (at least 1)
//   curves N                     words per node (default 9; other counts: weights, not mirrored)
//   node NAME FLAGS              a new node; flags as in ZEANIMNODE_* (0x.. allowed)
//   channel SLOT TYPE [VALUE]    SLOT 0.. or tx ty tz rx ry rz sx sy sz; TYPE const
//                                (VALUE), hermite, packed, step or boolean
//   key FRAME VALUE [TANGENT]    a key of the last channel, at a whole frame;
//                                tangent in value per frame (default: from the
//                                neighbouring keys, 0 on the first and last);
//                                boolean keys: 0 or 1 from that frame on
// Before its first key and after its last a channel holds their values (a
// tangent given on those keys also shapes the curve out to the next stored key).
// Channels not given are constant 0 (scale channels 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ze3d.h"

struct AniKey {
  int frame = 1;
  float value = 0, tangent = 0;
  bool tangentGiven = false;
};

struct AniChannel {
  int type = ZEANIMKEYTYPE_NONE;
  float constant = 0;
  std::vector<AniKey> keys;  // in frame order
};

struct AniNode {
  std::string name;
  int flags = 0;
  std::vector<AniChannel> channels;  // curves per node
};

struct AniDesc {
  float end = 1;
  int curves = ZEANIM_SLOTS;
  std::vector<AniNode> nodes;
};

// Reads a description (a path the engine's file layer opens). False with
// the reason and the line.
bool AniParse(const char* name, AniDesc* out, std::string* error);

// The description's value of a channel at a frame, in engine space: keys
// joined by Hermite segments (step and boolean channels hold), the first and
// last values held outside them.
float AniChannelValue(const AniChannel& ch, float frame);

// Images as files hold them: pointers are offsets from base 0. Empty with
// the reason when the description does not fit the format.
std::vector<uint8_t> AniBuildV2(const AniDesc& desc, std::string* error);
std::vector<uint8_t> AniBuildV1(const AniDesc& desc, std::string* error);
