// The tools' viewer (scenetool show, modeltool show): what a tool made,
// drawn through the engine in virtual time from a camera that frames its
// bounds, written as a PNG of the frame, or shown in the platform's window
// and turned with the pad.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ze3d.h"

struct ViewOptions {
  std::vector<std::string> files;  // the words that are not options
  float yaw = 30, pitch = 20;      // degrees: turned about the vertical, looking down
  int width = 640, height = 448;   // the picture (a PNG's pixels are square)
  bool window = false;
  std::string anim;                // modeltool: an ".ani" v2 animation and its frame
  float frame = 1;
};

// --yaw=D --pitch=D --size=WxH --window --anim=FILE --frame=F (or the value
// as the next word); sizes 32-640 wide, 32-512 high. False with the reason.
bool ViewParse(int argc, char** argv, ViewOptions* o, std::string* error);
// Starts the engine's parts the tools use (SceneEngineInit) with the video
// the view draws into: the picture's size without interlace, or the game's
// 640 x 224 field for the window.
void ViewEngineInit(const ViewOptions& o);

struct ViewSubject {
  ZEVEC centre = {0, 0, 0};
  float radius = 1;
  std::function<void(int frame)> draw;  // the drawing calls of a frame (frames from 1)
};
// Draws the subject: one frame written as a PNG to the last file word, or
// frames in the window until it is closed (left stick or direction buttons
// turn it, the right stick or L1/R1 bring it nearer or further). False with the reason.
bool ViewShow(const ViewOptions& o, const ViewSubject& s, std::string* error);
// The box of points as a subject's centre and radius.
void ViewBounds(const ZEVEC& lo, const ZEVEC& hi, ViewSubject* s);
