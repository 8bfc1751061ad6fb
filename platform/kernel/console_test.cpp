#include "platform_test.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {
struct Chan {
  int socket;
  int pending;
  char packet[64];
};
void Handler(int event, int, void* opt) {
  Chan* c = static_cast<Chan*>(opt);
  if (event == 3 && sceDeci2ExSend(c->socket, c->packet, uint16_t(c->pending)) < 0) c->pending = -1;
  else if (event != 3) c->pending = -1;
}
int MakePacket(Chan* c, int channel, const char* text) {
  int len = int(strlen(text)) + 13;
  uint8_t* p = reinterpret_cast<uint8_t*>(c->packet);
  memset(p, 0, 12);
  p[0] = uint8_t(len); p[1] = uint8_t(len >> 8);
  p[4] = uint8_t(0x210 + channel); p[5] = uint8_t((0x210 + channel) >> 8);
  p[6] = 'E'; p[7] = 'H';
  strcpy(c->packet + 12, text);
  return len;
}
}  // namespace

TEST(DebugLink, ChannelsCarryPacketsToTheirSinks) {
  std::string dir = TestTempDir();
  PlatSetTtyDirectory(dir.c_str());
  static Chan c0, c3;
  c0.socket = sceDeci2Open(0x210, &c0, Handler);
  c3.socket = sceDeci2Open(0x213, &c3, Handler);
  ASSERT_GE(c0.socket, 0);
  ASSERT_GE(c3.socket, 0);
  EXPECT_LT(sceDeci2Open(0x21a, &c3, Handler), 0);
  ConsoleCaptureScope capture;
  c0.pending = MakePacket(&c0, 0, "to the console\n");
  ASSERT_EQ(sceDeci2ReqSend(c0.socket, 'H'), 0);
  EXPECT_EQ(c0.pending, -1);
  c3.pending = MakePacket(&c3, 3, "to channel three\n");
  ASSERT_EQ(sceDeci2ReqSend(c3.socket, 'H'), 0);
  EXPECT_EQ(capture.text(), "to the console\n");
  PlatFlushLogs();
  std::ifstream f(dir + "/tty3.txt");
  std::stringstream ss;
  ss << f.rdbuf();
  EXPECT_EQ(ss.str(), "to channel three\n");
  PlatSetTtyDirectory(nullptr);

  // A damaged header is refused; without a directory channels are prefixed lines.
  capture.clear();
  c3.pending = MakePacket(&c3, 4, "wrong protocol\n");
  sceDeci2ReqSend(c3.socket, 'H');
  c3.pending = MakePacket(&c3, 3, "line\n");
  sceDeci2ReqSend(c3.socket, 'H');
  EXPECT_EQ(capture.text(), "tty3: line\n");
  sceDeci2Close(c0.socket);
  sceDeci2Close(c3.socket);
}
