#include "zesound2_testutil.h"
#include "zeps2.h"

namespace {

// A reply with n stream records (stream, voice, type) and a counter.
struct ReplyBuilder {
  uint32_t w[SOUND_REPLY_WORDS] = {};
  int n = 0;
  ReplyBuilder& Record(int stream, int voice, int type, bool active = true) {
    uint32_t* r = w + 1 + 6 * n++;
    r[0] = uint32_t(stream) << 4 | uint32_t(voice) << 10;
    r[2] = 0x1234 | (active ? 0x80000000u : 0);
    r[3] = uint32_t(type);
    return *this;
  }
  ReplyBuilder& Key(int voice, int state) {
    keys[voice] = state;
    return *this;
  }
  int keys[48] = {};
  void Apply(uint32_t counter) {
    w[0] = uint32_t(n);
    uint32_t* b = w + 6 * n;
    b[1] = counter;
    b[2] = 0xFFFFFFFFu;
    for (int v = 0; v < 48; v++) b[6 + v / 16] |= uint32_t(keys[v]) << (30 - 2 * (v % 16));
    memcpy(sbuff2, w, sizeof w);
    SOUND_CopyIOPBuffer();
  }
};

}  // namespace

TEST_F(SoundClient, StagingLaysOutLongsHighFirstAndStringsInWholeWords) {
  ClearPacket();
  SOUND_StartCommand(31);
  SOUND_AddData(0x12345);  // 16 bits kept
  SOUND_AddLongData(0x11223344);
  SOUND_AddString("ABCDE");
  SOUND_EndCommand();
  std::vector<uint16_t> c = LastStaged();
  ASSERT_EQ(c.size(), 1u + 1 + 2 + 3);
  EXPECT_EQ(c[0], 31);
  EXPECT_EQ(c[1], 0x2345);
  EXPECT_EQ(c[2], 0x1122);
  EXPECT_EQ(c[3], 0x3344);
  EXPECT_EQ(memcmp(&c[4], "ABCDE", 6), 0) << "bytes then the zero";
  struct {
    const char* text;
    int words;
  } strings[] = {{"ABCDE", 3}, {"ABCD", 3}, {"", 1}, {"A", 1}};
  for (auto& s : strings) {
    SOUND_StartCommand(34);
    SOUND_AddString(s.text);
    EXPECT_EQ(SOUND_DataCounter, s.words) << '"' << s.text << '"';
    SOUND_EndCommand();
  }
  EXPECT_EQ(SOUND_COMMAND_COUNTER, 5);
}

TEST_F(SoundClient, MisorderedStagingIsReportedAndChangesNothing) {
  ClearPacket();
  ConsoleCaptureScope console;
  SOUND_EndCommand();
  EXPECT_NE(console.text().find("This function is called before a SOUND_StartCommand has"), std::string::npos);
  SOUND_StartCommand(3);
  SOUND_AddData(1);
  SOUND_StartCommand(4);  // ignored: 3 is open, its parameters continue
  SOUND_AddData(2);
  SOUND_EndCommand();
  EXPECT_NE(console.text().find("Previous command (3) not completed"), std::string::npos);
  EXPECT_EQ(LastStaged(), (std::vector<uint16_t>{3, 1, 2}));
}

TEST_F(SoundClient, FullPacketRefusesACommandUntilAFlushEmptiesIt) {
  ClearPacket();
  IOP_Cnt = 1020;
  senddata[1023] = 0xBEEF;
  ConsoleCaptureScope console;
  SOUND_StartCommand(3);
  SOUND_AddData(1);
  SOUND_AddData(2);
  SOUND_EndCommand();
  EXPECT_NE(console.text().find("IOP Buffer full"), std::string::npos);
  EXPECT_EQ(IOP_Cnt, 1020);
  EXPECT_EQ(SOUND_Command, -1) << "the command is lost";
  SOUND_StartCommand(7);  // no parameters: fits in words 1021-1022
  SOUND_EndCommand();
  EXPECT_EQ(IOP_Cnt, 1022);
  EXPECT_EQ(senddata[1023], 0xBEEF) << "word 1023 is never written";
  ClearPacket();
  SOUND_StartCommand(3);
  SOUND_AddData(1);
  SOUND_AddData(2);
  SOUND_EndCommand();
  EXPECT_EQ(IOP_Cnt, 4);
}

TEST_F(SoundClient, StagingAreaRefusesWhatWouldRunPastIt) {
  ClearPacket();
  ConsoleCaptureScope console;
  SOUND_StartCommand(256);
  for (int i = 0; i < SOUND_PACKET_WORDS + 5; i++) SOUND_AddData(i);
  EXPECT_EQ(SOUND_DataCounter, SOUND_PACKET_WORDS);
  SOUND_EndCommand();
  EXPECT_EQ(IOP_Cnt, 0) << "dropped whole";
  EXPECT_NE(console.text().find("SOUND_AddData"), std::string::npos);
  std::string longName(3000, 'X');
  SOUND_StartCommand(34);
  SOUND_AddData(1);
  SOUND_AddString(longName.c_str());
  EXPECT_EQ(SOUND_DataCounter, 1) << "the string is refused, not written past the area";
  SOUND_EndCommand();
  EXPECT_EQ(IOP_Cnt, 0);
  EXPECT_NE(console.text().find("SOUND_AddString"), std::string::npos);
  SOUND_StartCommand(3);  // the next command is fine
  SOUND_AddData(1);
  SOUND_AddData(2);
  SOUND_EndCommand();
  EXPECT_EQ(IOP_Cnt, 4);
}

TEST_F(SoundClient, FlushSendsTheCommandsWithOneStatusRequestAtTheEnd) {
  ClearPacket();
  SOUND_StopSound(5);
  uint32_t before = SOUND_IOP_COUNTER;
  EXPECT_EQ(FlushIOPCommand(0), 3 + 4) << "words after word 0: the stop and the status request";
  EXPECT_EQ(senddata[0], 2);
  EXPECT_EQ(senddata[4], 9);
  EXPECT_EQ(senddata[6], 0xFFFF);
  EXPECT_NE(SOUND_IOP_COUNTER, before) << "the reply was unpacked";
  EXPECT_EQ(IOP_Cnt, 0);
  SOUND_GetStatus(-1, 7);  // the caller's own status request
  EXPECT_EQ(FlushIOPCommand(0), 4);
  EXPECT_EQ(senddata[0], 1) << "no second status request";
  EXPECT_EQ(SOUND_GETSTATUS_FLAG, 0);
  // A running background flush makes the main thread's refuse; the
  // commands wait for the next one.
  SOUND_StopSound(6);
  BGFLushIOPStop = 1;
  EXPECT_EQ(FlushIOPCommand(1), -1);
  EXPECT_EQ(IOP_Cnt, 3);
  BGFLushIOPStop = 0;
  EXPECT_EQ(FlushIOPCommand(1), 7);
  EXPECT_EQ(BGFlushIOPCommand(0), 4);
  EXPECT_EQ(BGFLushIOPStop, 0);
}

TEST_F(SoundClient, ReplyStreamsGoFromRequestedToListedToGone) {
  // Through the module: a load on stream 2.
  Write("A.BIN", std::vector<uint8_t>(1000, 9));
  SOUND_CreateFileInfo(1030, "host0:A.BIN", 0);
  FlushIOPCommand(0);
  ASSERT_EQ(SOUND_FILE_COUNTER, 1030u);
  ASSERT_EQ(SOUND_FILE_SIZE, 1000u);
  auto* buf = static_cast<uint8_t*>(EeMalloc(1024));
  SOUND_LoadFile(SOUND_LOAD_EE, 2, 1030, EeAddrOf(buf));
  EXPECT_EQ(SOUND_STREAM_STATE[2], SOUND_STREAM_STARTING);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_STREAM_STATE[2], SOUND_STREAM_LISTED);
  EXPECT_EQ(SOUND_STREAM_TYPE[2], SOUND_LOAD_EE);
  EXPECT_EQ(SOUND_STREAM_ID[2], 1030u);
  EXPECT_EQ(SOUND_EE_ADDR, EeAddrOf(buf)) << "kept from the command, not overwritten by the reply";
  Fields(1);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_STREAM_STATE[2], SOUND_STREAM_FREE);
  EXPECT_EQ(SOUND_LAST_EE_TRAN_SIZE, 1024u);
  EXPECT_EQ(buf[999], 9);
  EeFree(buf);
}

TEST_F(SoundClient, ReplyStateChangesFollowTheRecordsAndKeyStates) {
  SOUND_STREAM_STATE[0] = SOUND_STREAM_STOPPING;
  SOUND_STREAM_STATE[1] = SOUND_STREAM_STARTING;
  SOUND_SPUKeyStatus[6] = SOUND_KEY_ON;
  SOUND_SPUKeyStatus[7] = 1;
  ReplyBuilder().Record(0, 0, 0).Record(1, 1, 1).Key(0, 1).Key(1, 1).Key(47, 2).Apply(100);
  EXPECT_EQ(SOUND_STREAM_STATE[0], SOUND_STREAM_STOPPING) << "a stop requested but still listed stays 3";
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_LISTED);
  EXPECT_EQ(SOUND_SPU2StreamRef[0], 0) << "type 0 owns its voice";
  EXPECT_EQ(SOUND_SPU2StreamRef[1], SOUND_NOOWNER);
  EXPECT_EQ(SOUND_SPUKeyStatus[47], 2);
  EXPECT_EQ(SOUND_SPUKeyStatus[6], SOUND_KEY_ANSWERED) << "key-on not shown yet: survives once";
  EXPECT_EQ(SOUND_SPUKeyStatus[7], 0);

  // The same counter again: nothing changes but the disc-access field.
  SOUND_STREAM_CD_ACCESS = 3;
  ReplyBuilder().Key(0, 0).Apply(100);
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_LISTED);
  EXPECT_EQ(SOUND_SPUKeyStatus[0], 1);
  EXPECT_EQ(SOUND_STREAM_CD_ACCESS, 0);

  ReplyBuilder().Record(1, 1, 1).Apply(101);
  EXPECT_EQ(SOUND_STREAM_STATE[0], SOUND_STREAM_FREE) << "the stop ends once the stream is not listed";
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_LISTED);
  EXPECT_EQ(SOUND_SPUKeyStatus[6], SOUND_KEY_FREE) << "3, then 4, then 0";
  ReplyBuilder().Apply(102);
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_FREE);
}

TEST_F(SoundClient, DamagedReplyCountsAreNotFollowedOutOfTheReply) {
  ConsoleCaptureScope console;
  SOUND_STREAM_STATE[1] = SOUND_STREAM_LISTED;
  ReplyBuilder bad;
  bad.Apply(200);
  sbuff2[0] = 90;  // 90 records would put the counter past the reply
  SOUND_CopyIOPBuffer();
  EXPECT_NE(console.text().find("Reply lists 90 streams"), std::string::npos);
  // Records naming stream or voice 48 and above are skipped.
  ReplyBuilder().Record(50, 1, 1).Record(2, 60, 1).Record(3, 3, 1).Apply(201);
  EXPECT_EQ(SOUND_STREAM_STATE[2], SOUND_STREAM_FREE);
  EXPECT_EQ(SOUND_STREAM_STATE[3], SOUND_STREAM_LISTED);
  // More than 48 buffer addresses: 48 kept, no memory map trusted.
  ReplyBuilder many;
  many.w[6 * 0 + 67] = 400;
  many.Apply(202);
  EXPECT_EQ(SOUND_SFXMEMINDEX, 0);
  EXPECT_NE(console.text().find("400 stream buffers"), std::string::npos);
  ReplyBuilder some;
  some.Record(0, 0, 1);
  some.w[6 + 67] = 2;
  some.w[6 + 68] = 0x1111;
  some.w[6 + 69] = 0x2222;
  some.Apply(203);
  EXPECT_EQ(SOUND_STREAM_IOP_BUFFER_ADDR[1], 0x2222u);
  EXPECT_EQ(SOUND_SFXMEMINDEX, 6 + 69 + 2);
}

TEST_F(SoundClient, AddressesSetByCommandsSurviveOneReply) {
  SOUND_SetSPUWriteAddress(0xA6410);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_SPU_ADDR, 0xA6410u);
  EXPECT_EQ(SOUND_SPUAddrSet, 0);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_SPU_ADDR, 0xA6410u) << "the module now reports the same";
}

TEST_F(SoundClient, DiscErrorsAreReportedRecoveredAndRestarted) {
  Write("BIG.BIN", std::vector<uint8_t>(64 * 1024, 1));
  auto* buf = static_cast<uint8_t*>(EeMalloc(64 * 1024));
  SndModuleSetLoadRate(16);
  SOUND_CreateFileInfo(1024, "host0:BIG.BIN", 0);
  SOUND_LoadFile(SOUND_LOAD_EE, 2, 1024, EeAddrOf(buf));
  FlushIOPCommand(0);
  SndModuleSetDiscError(true);
  FlushIOPCommand(0);
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_HandleCDErrors(), -1);
  EXPECT_EQ(SOUND_HandleCDErrors(), -1);
  EXPECT_EQ(console.text(), "\nWeftline CD Error detected. All audio streams are now paused\n") << "said once";
  SndModuleSetDiscError(false);
  EXPECT_EQ(SOUND_HandleCDErrors(), -2) << "this frame finds the disc readable, restarts, and waits for the data";
  EXPECT_NE(console.text().find("CD is valid. IOP will now request last stream again..\n"), std::string::npos);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_HandleCDErrors(), -2) << "data asked for during the error still outstanding";
  SndModuleSetLoadRate(1 << 20);
  Fields(1);
  FlushIOPCommand(0);
  console.clear();
  EXPECT_EQ(SOUND_HandleCDErrors(), 0);
  EXPECT_EQ(console.text(), "Data requested during CD error is loaded\nWeftline fully functional again\n");
  EeFree(buf);
}

TEST_F(SoundClient, DiscErrorHandlingGivesWayToASuspendedBackgroundFlush) {
  SndModuleSetDiscError(true);
  FlushIOPCommand(0);
  ClearPacket();
  BGFLushIOPStop = 1;  // the loader was switched out part-way through its flush
  EXPECT_EQ(SOUND_HandleCDErrors(), -1) << "returns instead of spinning";
  EXPECT_GT(IOP_Cnt, 0) << "its commands wait in the packet";
  BGFLushIOPStop = 0;
  SndModuleSetDiscError(false);
  EXPECT_EQ(SOUND_HandleCDErrors(), 0) << "restarted with nothing outstanding";
}

TEST_F(SoundClient, UpdateWordChangesWhileWatched) {
  SOUND_InitWaitUpdate();
  FlushIOPCommand(0);
  SOUND_SetWaitUpdate();
  EXPECT_EQ(SOUND_CheckForUpdate(), 0);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_CheckForUpdate(), 1);
  EXPECT_EQ(SOUND_CheckForUpdate(), 0);
  SOUND_CloseWaitUpdate();
  FlushIOPCommand(0);
  SOUND_SetWaitUpdate();
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_CheckForUpdate(), 0);
}

TEST_F(SoundClient, DirectTransfersReachIopMemoryOrFailClearly) {
  auto* src = static_cast<uint8_t*>(EeMalloc(256));
  for (int i = 0; i < 256; i++) src[i] = uint8_t(i);
  EXPECT_EQ(SOUND_TransferDataToIOP(src, 0x1000, 256, SOUND_DMA_WAIT), 0);
  EXPECT_EQ(memcmp(SifIopMemory() + 0x1000, src, 256), 0);
  EXPECT_EQ(SOUND_CheckIOPTransfer(), 0);
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_TransferDataToIOP(src, 0, 16, 2), -1);
  EXPECT_NE(console.text().find("Incorrect WAIT flag"), std::string::npos);
  EXPECT_EQ(SOUND_TransferDataToIOP(src, IOP_MEMORY_SIZE - 8, 16, SOUND_DMA_NO_WAIT), -1);
  EXPECT_NE(console.text().find("Transfer to IOP Failed"), std::string::npos);
  EXPECT_EQ(SOUND_Previous, 0);
  EeFree(src);
}

TEST(SoundClientBind, AMissingModuleIsAFatalErrorNotAnEndlessWait) {
  SndModuleUnload();
  EXPECT_HALT(SOUND_InitIOP(), "never answered");
}
