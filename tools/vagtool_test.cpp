// The sound files users bring, made here through libsndfile (WAV of every
// sample format, FLAC, Ogg Vorbis; mono and stereo; 44.1 and 48 kHz),
// encoded by vagtool at 22050 Hz and decoded back: the same tone, at the
// same frequency and level.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform_test.h"

namespace {

// 1050 Hz is 21 samples a cycle at 22050 Hz (42 at 44100), so the level is
// measured on whole cycles.
constexpr double HZ = 1050, OUT_RATE = 22050, SECONDS = 0.5;

struct SoundCase {
  const char* name;
  int format;  // libsndfile's container | sample format
  int rate, channels;
  double left, right;     // peak levels of the two channels (full scale 1)
  double levelDb, snrDb;  // tolerance on the level; least signal to residue
};

const SoundCase CASES[] = {
    // Stereo is mixed to mono: the mean of 0.6 and 0.2 is 0.4.
    {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 0.6, 0.2, 0.1, 40},
    {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1, 0.5, 0, 0.1, 40},
    {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 44100, 1, 0.5, 0, 0.1, 40},
    {"pcm8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 1, 0.5, 0, 0.2, 35},
    {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 48000, 2, 0.3, 0.3, 0.1, 40},
    {"tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5, 0.5, 0.1, 40},
    {"tone48k.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 1, 0.5, 0, 0.1, 40},
    {"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 0.5, 0.5, 0.3, 30},
};

bool WriteTone(const std::string& path, const SoundCase& c) {
  SF_INFO info{};
  info.samplerate = c.rate;
  info.channels = c.channels;
  info.format = c.format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const int frames = int(c.rate * SECONDS);
  std::vector<float> data;
  for (int i = 0; i < frames; i++) {
    const double s = std::sin(2 * M_PI * HZ * i / c.rate);
    data.push_back(float(c.left * s));
    if (c.channels == 2) data.push_back(float(c.right * s));
  }
  const bool ok = sf_writef_float(f, data.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

bool ReadMono(const std::string& path, std::vector<double>* out, int* rate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f || info.channels != 1) return false;
  out->resize(size_t(info.frames));
  const bool ok = sf_readf_double(f, out->data(), info.frames) == info.frames;
  *rate = info.samplerate;
  sf_close(f);
  return ok;
}

int Shell(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()); }

std::string Slurp(const std::string& path) {
  std::string d;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return d;
  int ch;
  while ((ch = fgetc(f)) != EOF) d.push_back(char(ch));
  fclose(f);
  return d;
}

}  // namespace

// Tolerances: frequency within 0.1 % (counted on zero crossings), level
// within the case's decibels, and the signal over what is not the tone by
// the case's decibels (ADPCM and the resampler; Vorbis loses more).
TEST(Vagtool, EncodesEverySoundFileKindAtAnotherRateToTheSameTone) {
  const std::string dir = TestTempDir(), tool = VAGTOOL;
  for (const SoundCase& c : CASES) {
    SCOPED_TRACE(c.name);
    const std::string in = dir + "/" + c.name, vag = dir + "/t.vag", back = dir + "/back.wav";
    ASSERT_TRUE(WriteTone(in, c)) << sf_strerror(nullptr);
    ASSERT_EQ(Shell(tool + " encode " + in + " " + vag + " --rate=22050"), 0);
    ASSERT_EQ(Shell(tool + " decode " + vag + " " + back), 0);
    std::vector<double> s;
    int rate = 0;
    ASSERT_TRUE(ReadMono(back, &s, &rate));
    EXPECT_EQ(rate, 22050);
    // Whole 28-sample blocks; the resampler may give a few samples fewer.
    EXPECT_NEAR(double(s.size()), OUT_RATE * SECONDS, 40);

    // The middle 400 cycles, away from the ends' filter edges.
    const size_t from = 1000, n = 21 * 400;
    ASSERT_GE(s.size(), from + n);
    int crossings = 0;
    double firstUp = -1, lastUp = -1;
    for (size_t i = from + 1; i < from + n; i++)
      if (s[i - 1] < 0 && s[i] >= 0) {
        const double t = double(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
        if (firstUp < 0) firstUp = t;
        else crossings++;
        lastUp = t;
      }
    ASSERT_GT(crossings, 300);
    const double hz = crossings / (lastUp - firstUp) * OUT_RATE;
    EXPECT_NEAR(hz, HZ, HZ * 0.001);

    // The tone by its sine and cosine parts over whole cycles, and the rest.
    double a = 0, b = 0;
    for (size_t i = from; i < from + n; i++) {
      a += s[i] * std::sin(2 * M_PI * HZ * double(i) / OUT_RATE);
      b += s[i] * std::cos(2 * M_PI * HZ * double(i) / OUT_RATE);
    }
    a *= 2.0 / double(n);
    b *= 2.0 / double(n);
    double signal = 0, rest = 0;
    for (size_t i = from; i < from + n; i++) {
      const double fit = a * std::sin(2 * M_PI * HZ * double(i) / OUT_RATE) + b * std::cos(2 * M_PI * HZ * double(i) / OUT_RATE);
      signal += fit * fit;
      rest += (s[i] - fit) * (s[i] - fit);
    }
    const double want = c.channels == 2 ? (c.left + c.right) / 2 : c.left;
    EXPECT_NEAR(20 * std::log10(std::hypot(a, b) / want), 0, c.levelDb);
    EXPECT_GT(10 * std::log10(signal / rest), c.snrDb);
  }
}

// Without --rate the file's own rate is kept; files that are no sound and
// rates out of range are refused, naming the file and the reason.
TEST(Vagtool, KeepsTheFileRateAndNamesWhatItCannotRead) {
  const std::string dir = TestTempDir(), tool = VAGTOOL;
  const std::string in = dir + "/tone.flac", vag = dir + "/t.vag", back = dir + "/back.wav";
  ASSERT_TRUE(WriteTone(in, CASES[5]));
  ASSERT_EQ(Shell(tool + " encode " + in + " " + vag), 0);
  ASSERT_EQ(Shell(tool + " decode " + vag + " " + back), 0);
  std::vector<double> s;
  int rate = 0;
  ASSERT_TRUE(ReadMono(back, &s, &rate));
  EXPECT_EQ(rate, 44100);
  EXPECT_NEAR(double(s.size()), 44100 * SECONDS, 28);

  const std::string text = dir + "/notes.wav";
  FILE* f = fopen(text.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("not a sound at all, only words", f);
  fclose(f);
  struct Bad {
    std::string args, inMessage;
  };
  const Bad bads[] = {
      {"encode " + text + " " + vag, text + ": "},
      {"encode " + dir + "/none.wav " + vag, dir + "/none.wav: "},
      {"encode " + in + " " + vag + " --rate=0", "--rate=0"},
      {"encode " + in + " " + vag + " --rate=22k", "--rate=22k"},
      {"decode " + dir + "/none.vag " + back, dir + "/none.vag"},
  };
  for (const Bad& bad : bads) {
    SCOPED_TRACE(bad.args);
    const std::string err = dir + "/err.txt";
    EXPECT_NE(system((tool + " " + bad.args + " 2>" + err).c_str()), 0);
    const std::string message = Slurp(err);
    EXPECT_EQ(message.rfind("vagtool: ", 0), 0u) << message;
    EXPECT_NE(message.find(bad.inMessage), std::string::npos) << message;
    EXPECT_GT(message.size(), bad.inMessage.size() + 12) << "a reason: " << message;
  }
}
