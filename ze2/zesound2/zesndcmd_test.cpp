#include "zesound2_testutil.h"

using Words = std::vector<uint16_t>;

TEST_F(SoundClient, PlaySfxKeysTheVoiceAndSendsItsGroupsScaledVolumes) {
  ClearPacket();
  ASSERT_EQ(SOUND_SetGroupMasterVolume(0x20000, 0x800, 0x400), 0);
  EXPECT_EQ(SOUND_PlaySFX(0x1000, 0x20005, 0x3FFF, 0x2000, 0x1000, 0, 16), 0);
  EXPECT_EQ(LastStaged(), (Words{0, 0x1000, 5, 0x1FFF, 0x800, 0x1000, 16 << 8}));
  EXPECT_EQ(SOUND_SPUKeyStatus[5], SOUND_KEY_ON);
  EXPECT_EQ(SOUND_SPU_MasterVol[5], 0x20000u);
  ClearPacket();
  for (int voice : {48, -1, 0x7FFF}) EXPECT_EQ(SOUND_PlaySFX(0x1000, uint32_t(voice), 1, 1, 1, 0, 0), -1) << voice;
  EXPECT_EQ(IOP_Cnt, 0) << "nothing staged";
  // A group outside 1-4 is no group: the volumes pass unscaled.
  EXPECT_EQ(SOUND_PlaySFX(0x1000, 0x70006, 0x3FFF, 0x100, 0x1000, 0, 0), 0);
  EXPECT_EQ(LastStaged()[3], 0x3FFF);
  EXPECT_EQ(LastStaged()[4], 0x100);
  // Effect volumes are 15 bits: -0x3FFF goes as 0x4001.
  SOUND_PlaySFX(0x1000, 7, -0x3FFF, 0, 0x1000, 0, 0);
  EXPECT_EQ(LastStaged()[3], 0x4001);
}

TEST_F(SoundClient, VolumeScalingAndGroupMasters) {
  struct {
    int master, volume, scaled;
  } cases[] = {{0x800, 0x3FFF, 0x1FFF}, {0x800, 0x7FFF, 0x7FFF}, {0x1000, 0x1234, 0x1234},
               {0x1000, 0x4567, 0x4567}, {0x800, 0x4001, 0x6000}, {0, 0x3FFF, 0}, {0x800, -0x3FFF, -0x1FFF}};
  for (auto& c : cases) EXPECT_EQ(SOUND_ScaleVol(c.master, c.volume), c.scaled) << c.master << " " << c.volume;

  ClearPacket();
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_SetGroupMasterVolume(0x30000, 0x1000, 0x1001), -3);
  EXPECT_EQ(SOUND_SetGroupMasterVolume(0x30000, 0x1001, 0), -2);
  EXPECT_EQ(SOUND_SetGroupMasterVolume(0x50000, 0, 0), -1);
  EXPECT_EQ(SOUND_SetGroupMasterVolume(0, 0, 0), -1);
  EXPECT_NE(console.text().find("Right Volume (0x1001) out of range"), std::string::npos);
  EXPECT_EQ(SOUND_GetGroupMasterVolume(0x30000), 0x10001000);
  EXPECT_EQ(SOUND_GetGroupMasterVolume(0x50000), -1);
  EXPECT_EQ(IOP_Cnt, 0);
  // A new master remixes the keyed voices of its group only.
  SOUND_PlaySFX(0x1000, 0x30008, 0x2000, 0x2000, 0x1000, 0, 0);
  SOUND_PlaySFX(0x1000, 0x30009, 0x2000, 0x2000, 0x1000, 0, 0);
  SOUND_PlaySFX(0x1000, 0x2000A, 0x2000, 0x2000, 0x1000, 0, 0);
  SOUND_SPUKeyStatus[9] = SOUND_KEY_FREE;
  ClearPacket();
  EXPECT_EQ(SOUND_SetGroupMasterVolume(0x30000, 0x800, 0x1000), 0);
  EXPECT_EQ(StagedCommands(), (std::vector<Words>{{2, 8, 0x1000, 0x2000}}));
  SOUND_SetGroupMasterVolume(0x30000, 0x1000, 0x1000);
}

TEST_F(SoundClient, StreamsArePlayedAndStoppedWithTheirBookkeeping) {
  ClearPacket();
  SOUND_STREAM_STATE[0] = SOUND_STREAM_LISTED;
  SOUND_STREAM_STATE[1] = SOUND_STREAM_STOPPING;
  EXPECT_EQ(SOUND_FindFreeStream(), 1) << "a stream being stopped counts as free";
  EXPECT_EQ(SOUND_PlayStream(7, SOUND_ANY_STREAM, 3, -0x3FFF, 0x3FFF, 0x1000, STREAM_NO_VOICE, 0, 16), 1);
  EXPECT_EQ(LastStaged(), (Words{1, 7, 3 + 256, 0xC001, 0x3FFF, 0x1000, 2, 16 << 8}))
      << "mode 2: volumes unmixed, no voice bookkeeping";
  EXPECT_EQ(SOUND_SPUKeyStatus[3], SOUND_KEY_FREE);
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_STARTING);
  EXPECT_EQ(SOUND_SPU2StreamRef[3], 1);
  EXPECT_EQ(SOUND_PlayStream(7, 2, 0x10004, 0x2000, 0x2000, 0x1000, STREAM_LOOPING, 0, 0), 2);
  EXPECT_EQ(SOUND_SPUKeyStatus[4], SOUND_KEY_ON) << "modes 0 and 1 key the voice";
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_PlayStream(7, 4, 0, 0, 0, 0, 1, 0, 0), -1) << "beyond the limit";
  EXPECT_EQ(SOUND_PlayStream(7, -2, 0, 0, 0, 0, 1, 0, 0), -1);
  EXPECT_EQ(SOUND_PlayStream(7, 3, 48, 0, 0, 0, 1, 0, 0), -1);
  EXPECT_NE(console.text().find("Stream (4) out of range"), std::string::npos);

  ClearPacket();
  SOUND_SPU2StreamRef[10] = 0;
  EXPECT_EQ(SOUND_StopStream(64 + 10), 0);
  EXPECT_EQ(LastStaged(), (Words{5, 0})) << "voice 10's stream";
  EXPECT_EQ(SOUND_SPU2StreamRef[10], SOUND_NOOWNER);
  EXPECT_EQ(SOUND_STREAM_STATE[0], SOUND_STREAM_STOPPING);
  ClearPacket();
  for (int n : {-1, 48, 63, 64 + 11, 64 + 48}) EXPECT_EQ(SOUND_StopStream(n), -1) << n;
  EXPECT_EQ(IOP_Cnt, 0);
}

TEST_F(SoundClient, WrappersReportFailedPlaysAndCheckTheirFlags) {
  ClearPacket();
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_PlayStreamFromSFX(7, 2, 2, 2), -1);
  EXPECT_NE(console.text().find("flag type is neither STREAM_LOOPING or STREAM_ONCE_OFF"), std::string::npos);
  EXPECT_EQ(SOUND_PlayStreamFromSFX(7, 9, 2, STREAM_ONCE_OFF), -1) << "the play failed";
  EXPECT_EQ(IOP_Cnt, 0);
  EXPECT_EQ(SOUND_PlayStreamFromSFX(7, 2, 2, STREAM_ONCE_OFF), 2);
  EXPECT_EQ(LastStaged(), (Words{1, 7, 2 + 512, 0, 0, 0, 1, 128 << 8}));
  EXPECT_EQ(SOUND_PlayStreamFromSFX(7, SOUND_ANY_STREAM, 3, STREAM_LOOPING), SOUND_ANY_STREAM);
  ClearPacket();
  EXPECT_EQ(SOUND_LoadFile(124, 0, 7, 0), -2);
  EXPECT_EQ(SOUND_LoadFile(SOUND_LOAD_SPU, 3, 7, 0xA6410), 3);
  EXPECT_EQ(StagedCommands(), (std::vector<Words>{{14, 0xA, 0x6410}, {1, 7, 3 * 256, 0, 0, 0, 127, 0}}));
  EXPECT_EQ(SOUND_SPUAddrSet, 1);
}

TEST_F(SoundClient, CommandChecksRefuseBadArgumentsBeforeStaging) {
  ClearPacket();
  ConsoleCaptureScope console;
  SOUND_CHAIN_ENTRY chain[9] = {};
  EXPECT_EQ(SOUND_ChainStreams(0, 9, chain), -2);
  EXPECT_EQ(SOUND_ChainStreams(0, 0, chain), -2);
  EXPECT_EQ(SOUND_ChainStreams(4, 1, chain), -1);
  EXPECT_EQ(SOUND_SetMaxStreamLimit(48), -1);
  EXPECT_EQ(SOUND_SetMaxStreamLimit(-1), -1);
  EXPECT_EQ(SOUND_CheckAndStartStereo(48, 1, 0), -1);
  EXPECT_EQ(SOUND_CheckAndStartStereo(0, 48, 0), -2);
  EXPECT_EQ(SOUND_PlaySFXLoop(1, 5, 0, 0, 0, 0, 0, 0x10000), -2);
  EXPECT_EQ(SOUND_StreamAddSPUChannel(0, 48, 0, 0), -1);
  EXPECT_EQ(SOUND_StreamAddSPUChannel(4, 0, 0, 0), -2);
  EXPECT_EQ(SOUND_SetStreamLoadSource(0, 2), -2);
  EXPECT_EQ(SOUND_SetStreamStartPosition(-1, 0), -1);
  EXPECT_EQ(SOUND_StreamIgnoreVAGPitch(4), -1);
  EXPECT_EQ(SOUND_InitPCMPlaybackNoStream(1024), -1);
  EXPECT_EQ(SOUND_InitPCMPlaybackNoStream(3000), -1);
  EXPECT_EQ(SOUND_SetFileInfo(1024, 100, 50, 1, -64), -1) << "a negative range";
  EXPECT_EQ(SOUND_SetFileInfo(1024, 100, 10, 1, 50), -1);
  EXPECT_EQ(SOUND_SetChannelPitch(-5, 0), -1);
  SOUND_SetStreamParent_Int(4, 0, 0);
  SOUND_SetStreamChild_Int(0, 48, 0, 0, 0, 0, 0);
  EXPECT_EQ(IOP_Cnt, 0) << "nothing staged";
  EXPECT_NE(console.text().find("Count value (9) out of range"), std::string::npos);
  EXPECT_NE(console.text().find("Size 0xbb8 is not a multiple of 2048"), std::string::npos);
  EXPECT_NE(console.text().find("Parent (48) out of range (0-47)"), std::string::npos);
  chain[0] = {0x40, 0x11112222, 0x33334444};
  EXPECT_EQ(SOUND_ChainStreams(1, 1, chain), 0);
  EXPECT_EQ(LastStaged(), (Words{27, 1, 1, 0x40, 0x3333, 0x4444, 0x1111, 0x2222}));
  EXPECT_EQ(SOUND_SetFileInfo(1025, 0x20001, 0x10040, 1, 0x10000), 0);
  EXPECT_EQ(LastStaged(), (Words{30, 1025, 2, 1, 1, 0x40, 1, 1, 0}));
}

TEST_F(SoundClient, SearchesLookupsAndPitches) {
  for (int v = 0; v < SOUND_VOICES; v++) SOUND_SPUKeyStatus[v] = 1;
  SOUND_SPUKeyStatus[12] = SOUND_SPUKeyStatus[14] = 0;
  EXPECT_EQ(SOUND_FindFreeSPUChannel(10, 20), 12);
  EXPECT_EQ(SOUND_SPUKeyStatus[12], SOUND_KEY_ON);
  EXPECT_EQ(SOUND_FindFreeSPUChannel(10, 13), -1);
  EXPECT_EQ(SOUND_FindFreeSPUChannel(48, 50), -2);
  EXPECT_EQ(SOUND_FindFreeSPUChannel(-1, 5), -2);
  EXPECT_EQ(SOUND_FindFreeSPUChannel(10, 9), -3);
  EXPECT_EQ(SOUND_FindFreeSPUChannel(10, 48), -3);
  EXPECT_EQ(SOUND_GetKeyStatus(48), -1);
  EXPECT_EQ(SOUND_GetKeyStatus(-1), -1);
  EXPECT_EQ(SOUND_GetStreamChannel(48), -2);
  EXPECT_EQ(SOUND_HzToSPU(48000), 0x1000u);
  EXPECT_EQ(SOUND_HzToSPU(44100), 3763u);
  SOUND_STREAM_STATE[1] = SOUND_STREAM_STOPPING;
  SOUND_STREAM_STATE[2] = SOUND_STREAM_STARTING;
  SOUND_STREAM_INFO info{};
  EXPECT_EQ(SOUND_GetStreamInfo(1, &info), 0);
  EXPECT_EQ(info.busy, 0);
  EXPECT_EQ(SOUND_GetStreamInfo(2, &info), 0);
  EXPECT_EQ(info.busy, 1);
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_GetStreamInfo(4, &info), -1);
  EXPECT_NE(console.text().find("Only NON-STREAM related info is valid"), std::string::npos);
}

TEST_F(SoundClient, HeaderReaders) {
  const uint32_t msh[3 + 8] = {0xA, 0xB, 2, 1, 2, 0x300, 4, 5, 6, 0x700, 8};
  SOUND_MSH_INFO m{};
  EXPECT_EQ(SOUND_GetMSHSampleCount(msh), 2);
  EXPECT_EQ(SOUND_GetMSHInfo(msh, &m, 1), 0);
  EXPECT_EQ(m.header[2], 2u);
  EXPECT_EQ(m.entry[0], 6u);
  EXPECT_EQ(m.entry[1], 5u);
  EXPECT_EQ(m.entry[2], 0x700u);
  ConsoleCaptureScope console;
  EXPECT_EQ(SOUND_GetMSHInfo(msh, &m, 2), -1);
  EXPECT_EQ(SOUND_GetMSHInfo(msh, &m, -1), -1);
  EXPECT_NE(console.text().find("Header file contains 2 sample data packets"), std::string::npos);
  ClearPacket();
  EXPECT_EQ(SOUND_PatchMSH(0, 0x1009, msh, 0x10000), 0);
  EXPECT_EQ(LastStaged(), (Words{28, 0x1009, 1, 0x0300}));
  EXPECT_EQ(SOUND_PatchMSH(5, 0x1009, msh, 0), -1);

  const uint32_t mih[6 + 3] = {1, 2, 3, 4, 5, 6, 0x100, 0x101, 0x102};
  SOUND_MIH_INFO i{};
  EXPECT_EQ(SOUND_GetMIHInfo(mih, &i, 2), 0);
  EXPECT_EQ(i.fileid, 0x102u);
  EXPECT_EQ(i.word3, 4u);
  EXPECT_EQ(SOUND_GetMIHFileID(1, mih), 0x101);
  EXPECT_EQ(SOUND_GetMIHFileID(3, mih), -1);
  EXPECT_NE(console.text().find("You requested ID info for file 3"), std::string::npos);

  uint8_t wav[44] = {};
  wav[22] = 2;
  wav[40] = 0x10;
  wav[41] = 0x27;
  SOUND_WAV_INFO w{};
  SOUND_GetWAVHeaderInfo(wav, &w);
  EXPECT_EQ(w.size, 10000u);
  EXPECT_EQ(w.offset, 44u);
  EXPECT_EQ(w.stereo, 1u);
  wav[22] = 6;
  SOUND_GetWAVHeaderInfo(wav, &w);
  EXPECT_EQ(w.stereo, 0x1234u);
}
