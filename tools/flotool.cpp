// flotool: the universe file and the game-flow program, through the game's
// own reader and compiler.
//   flotool uni FILE                 reads a universe and prints its tree
//   flotool check [--uni UNI] FILE   compiles a program as the game does
//   flotool list [--uni UNI] FILE    prints its labels and instructions
// Errors and warnings go to stderr as "FILE:LINE: message" (the file being
// read, an included one when there, lines from 1); the first error ends
// the run with status 1.
#include "gameflow.h"
#include "levcon.h"
#include "toolhalt.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string g_rootShown;  // the host root as the user named it ("" or "dir/")
std::string g_mainFile;   // the file named on the command line, as given
std::string g_error;      // text of the fatal message being printed
bool g_inError = false;
std::string g_pending;    // console text not yet ended by a newline
int g_warnings = 0;

std::string Shown(const char* engineName) {
  std::string s = g_rootShown + engineName;
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

// Where the engine is reading: the game-flow file, else the universe file.
std::string Where() {
  ZEFPAR* p = gfc_compiling ? gfc_compiling->parser.get() : levcon_parser;
  if (!p) return g_mainFile + ": ";
  return Shown(p->name) + ":" + std::to_string(p->lineno + 1) + ": ";
}

bool IsWarning(const std::string& m) {
  static const char* const WARNINGS[] = {"Unknown gameflow command", "Semaphore already exists",
                                         "Warning - multiple definition of semaphore", "Too many semaphores at line",
                                         "Unexpected \""};
  for (const char* w : WARNINGS)
    if (m.compare(0, strlen(w), w) == 0) return true;
  return false;
}

// The engine's console: debug messages that are warnings are reported at
// once; a fatal message is kept for the halt.
void Console(const char* text) {
  if (g_inError) {
    g_error += text;
    return;
  }
  if (strncmp(text, "ZeError - ", 10) == 0 || strncmp(text, "ZeWarning - ", 12) == 0) {
    // "ZeError - file(line) : message": the message, after where it is read.
    g_inError = true;
    const char* at = strstr(text, ") : ");
    g_error = Where() + (at ? at + 4 : "");
    return;
  }
  g_pending += text;
  size_t nl;
  while ((nl = g_pending.find('\n')) != std::string::npos) {
    std::string line = g_pending.substr(0, nl);
    g_pending.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t at = line.find(") : ");
    if (line.find("ZeDebugMsg - ") == std::string::npos || at == std::string::npos) continue;
    std::string message = line.substr(at + 4);
    if (IsWarning(message)) {
      fprintf(stderr, "%s%s\n", Where().c_str(), message.c_str());
      g_warnings++;
    }
  }
}

void Halt() {
  while (!g_error.empty() && (g_error.back() == '\n' || g_error.back() == '\r')) g_error.pop_back();
  fprintf(stderr, "%s\n", g_error.c_str());
  fflush(stdout);
  toolhalt::CleanUp(true);
  fflush(stderr);
  _exit(1);
}

int Usage() {
  fprintf(stderr,
          "usage: flotool uni FILE\n"
          "       flotool check [--uni UNI] FILE\n"
          "       flotool list [--uni UNI] FILE\n");
  return 2;
}

// The engine's name of a host file: relative to the host root, '\' separated.
std::string EngineName(const std::string& path) {
  std::string s = fs::relative(fs::absolute(path), fs::path(PlatGetHostRoot())).string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

void SetRoot(const std::string& file) {
  fs::path a = fs::absolute(file);
  ToolSetHostRoot(a.parent_path().c_str());
  fs::path shown = fs::path(file).parent_path();
  g_rootShown = shown.empty() ? "" : shown.string() + "/";
}

void ReadUniverse(const std::string& path) {
  std::string name = EngineName(path);
  if (name.size() >= sizeof levcon_uni_name) {
    fprintf(stderr, "flotool: universe name too long: %s\n", path.c_str());
    _exit(2);
  }
  strcpy(levcon_uni_name, name.c_str());
  g_mainFile = path;
  LevConSysInit();
}

const char* Str(const char* s) { return s ? s : "-"; }

void PrintLevel(LevConLevel* l, int depth) {
  std::string pad(size_t(depth) * 2, ' ');
  printf("%slevel %s path %s buffer %d size %d\n", pad.c_str(), Str(l->info.Name), Str(l->info.Path), l->bufftype,
         l->buffsize);
  const char* files[] = {l->HiScene, l->Creatures, l->Particles, l->Grass, l->Bridges,
                         l->Pots,    l->Pickups,   l->Lights,    l->Splines};
  const char* kinds[] = {"HiScene", "Creatures", "Particles", "Grass", "Bridges", "Pots", "Pickups", "Lights", "Splines"};
  for (int k = 0; k < 9; k++)
    if (files[k]) printf("%s  %s %s\n", pad.c_str(), kinds[k], files[k]);
  if (l->hostname) printf("%s  LoScene %s%s %s\n", pad.c_str(), l->hostname, l->host ? "" : " (unknown)", Str(l->lopattern));
  if (l->ncansee || l->levflags) {
    printf("%s  CanSee", pad.c_str());
    for (int k = 0; k < l->ncansee; k++) printf(" %s%s", l->canseename[k], l->cansee[k] ? "" : " (unknown)");
    printf(" flags %#x\n", unsigned(l->levflags));
  }
  printf("%s  StartPos %g %g %g %d\n", pad.c_str(), double(l->StartPos.x), double(l->StartPos.y),
         double(l->StartPos.z), l->startyaw);
  if (l->info.OnActivate || l->info.OnDeactivate || l->info.LoadScript)
    printf("%s  labels OnActivate %s OnDeactivate %s LoadScript %s\n", pad.c_str(), Str(l->info.OnActivate),
           Str(l->info.OnDeactivate), Str(l->info.LoadScript));
  // Sub-levels in file order.
  for (int i = 0; i < levcon_num_levels; i++)
    if (levels[i].info.parent == &l->info) PrintLevel(&levels[i], depth + 1);
}

int Uni(const std::string& path) {
  SetRoot(path);
  ReadUniverse(path);
  printf("global buffer %d size %d noplanet %d nohires %d texanim %s %d\n", levcon_gb_kind, levcon_gb_size,
         levcon_gb_noplanet, levcon_gb_nohires, texanimfilename[0] ? texanimfilename : "-", texanimbuffsize);
  for (int w = 0; w < levcon_num_worlds; w++) {
    LevConWorld& wd = worlds[w];
    printf("world %s path %s planet %s %s buffer %d size %d\n", Str(wd.info.Name), Str(wd.info.Path), Str(wd.planet),
           Str(wd.planetpath), wd.info.gbkind, wd.info.gbsize);
    for (int i = 0; i < wd.nislands; i++) {
      LevConIsland& is = wd.firstisland[i];
      printf("  island %s path %s plate %d at %g %g %g levels %d triggers %s\n", Str(is.info.Name), Str(is.info.Path),
             is.PlateID, double(is.PlatePos.x), double(is.PlatePos.y), double(is.PlatePos.z), is.nlevels,
             Str(is.LoadTriggers));
      for (int l = 0; l < levcon_num_levels; l++)
        if (levels[l].info.parent == &is.info) PrintLevel(&levels[l], 2);
    }
  }
  return 0;
}

// Each instruction's file, recorded through the compile functions.
std::vector<std::string> g_instrFile;
GfcCompileFn g_compile[GFC_MAX_CMDTYPES];

int RecordingCompile(GfcProgram* prog, ZEFPAR* parser, GfcInstr* in) {
  int kept = g_compile[in->command](prog, parser, in);
  if (kept) g_instrFile.at(size_t(prog->ninstr)) = Shown(parser->name);
  return kept;
}

// The game's set-up of its program (the same steps as InitGameFlow), with
// the compile functions watched for the instructions' files.
GfcProgram* Compile(const std::string& path, const std::string& uni) {
  SetRoot(path);
  if (!uni.empty()) ReadUniverse(uni);
  g_mainFile = path;
  gfcInit();
  gfcAddSem("edit_mode", 0, 1);
  InitGameFlowCommands();
  g_instrFile.assign(GFC_MAX_INSTR + 1, "");
  for (int r = 0; r < gfc_ncmdtypes; r++) {
    g_compile[r] = gfc_cmdtypes[r].compile;
    gfc_cmdtypes[r].compile = RecordingCompile;
  }
  const size_t size = sizeof(GfcProgram) + 16;
  char* buffer = static_cast<char*>(EeMalloc(size));
  char* cursor = buffer;
  std::string name = EngineName(path);
  return gfcLoadProgram(name.c_str(), &cursor, buffer + size);
}

// Labels the universe names that the program lacks: the game would only
// print a debug message when it calls them.
void CheckUniverseLabels(GfcProgram* prog) {
  auto check = [&](const LevConInfo& n) {
    for (const char* label : {n.OnActivate, n.OnDeactivate, n.LoadScript}) {
      if (label && gfcFindLabel(prog, label) < 0) {
        fprintf(stderr, "%s: warning: label \"%s\" named by %s is not in the program\n", g_mainFile.c_str(), label,
                Str(n.Name));
        g_warnings++;
      }
    }
  };
  for (int i = 0; i < levcon_num_worlds; i++) check(worlds[i].info);
  for (int i = 0; i < levcon_num_islands; i++) check(islands[i].info);
  for (int i = 0; i < levcon_num_levels; i++) check(levels[i].info);
}

int Check(const std::string& path, const std::string& uni, bool list) {
  GfcProgram* prog = Compile(path, uni);
  if (!uni.empty()) CheckUniverseLabels(prog);
  if (!list) {
    printf("%s: %d instructions, %d labels, %d semaphores, %d bytes of data\n", path.c_str(), prog->ninstr,
           prog->nlabels, gfc_nsems, prog->dataused);
    return 0;
  }
  for (int i = 0; i < prog->nlabels; i++)
    printf("label %s %d\n", prog->labels[i].name.get(), prog->labels[i].pc);
  for (int i = 0; i < prog->ninstr; i++) {
    const GfcInstr& in = prog->code[i];
    printf("%4d %s:%d %s %08x\n", i, g_instrFile[size_t(i)].c_str(), in.line + 1, gfc_cmdtypes[in.command].name,
           unsigned(in.operand));
  }
  return 0;
}

// A file the readers take: text (tabs and line ends the only control
// characters) and not empty. Else "FILE: ..." and false.
bool IsText(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return true;  // the reader names a missing file
  long at = 0;
  int c, bad = -1;
  while ((c = fgetc(f)) != EOF && bad < 0) {
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f) bad = c;
    else at++;
  }
  fclose(f);
  if (bad >= 0) fprintf(stderr, "%s: not a text file (byte %02x at %ld)\n", path.c_str(), unsigned(bad), at);
  else if (at == 0) fprintf(stderr, "%s: empty\n", path.c_str());
  return bad < 0 && at > 0;
}

int Main(int argc, char** argv) {
  for (int i = 2; i < argc; i++)
    if (argv[i][0] != '-' && !IsText(argv[i])) return 1;
  ToolNoteDir(fs::current_path().string());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PlatSetConsoleCapture(Console);
  // The first message starts the engine's log file ("ze2.err") in the
  // working directory, before the host root moves to the files read.
  ZeDebugMsg("flotool");
  KernelSetHaltHook(Halt);
  if (argc == 3 && !strcmp(argv[1], "uni")) return Uni(argv[2]);
  if (argc >= 3 && (!strcmp(argv[1], "check") || !strcmp(argv[1], "list"))) {
    std::string uni;
    int i = 2;
    if (argc == 5 && !strcmp(argv[2], "--uni")) {
      uni = argv[3];
      i = 4;
    }
    if (i != argc - 1) return Usage();
    return Check(argv[i], uni, !strcmp(argv[1], "list"));
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("flotool", Main, argc, argv); }
