// convert IN... --out-dir DIR: a whole toolchain's import libraries in one
// process. Starting a process costs more than converting one library, so
// a batch reads, converts and writes every input here, on as many threads
// as there are cores, each input on its own and each output named after
// its input.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/commands.h"
#include "cli/convert_one.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/overrides.h"
#include "cli/warnings.h"
#include "model/dll_names.h"
#include "model/file_bytes.h"
#include "platform/clock.h"
#include "platform/file_api.h"
#include "platform/safe_save.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr char kBatchHelp[] =
    "With --out-dir DIR, every INPUT is converted in one run, on all the machine's cores, into DIR "
    "(made when missing), each output named after its INPUT: the INPUT's file name without its "
    "extension (and a GNU library's \"lib\" and \".a\" or \".dll.a\": libshlwapi.a and libshlwapi.dll.a "
    "give shlwapi), then .lib for --to coff or omf, .def for --to def, and lib NAME .dll.a for --to gnu "
    "or --delay: x.def gives x.lib, shlwapi.dll shlwapi.lib. An INPUT @FILE stands for the paths FILE "
    "lists, one per line. Two inputs that would give one output name (letter case aside), or an "
    "output that is an input, are refused before anything is written. --conventions, --pascal and "
    "--stdcall apply to every input (the names that no input has are said once), --strict to each, "
    "--native-def to none. Each failure is said with its file and the others are still converted; "
    "the exit status is 1 when any failed. The outputs' bytes do not depend on the order of the "
    "inputs nor on the number of threads (LIBMORPH_THREADS, by default one per core and at least 8): they share "
    "one time stamp, SOURCE_DATE_EPOCH or the run's start.";

// Paths are UTF-8 on every system; std::filesystem takes the system's
// narrow encoding from a plain string, which on Windows is not UTF-8.
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

std::string OutputNameOf(const std::string& input, const ConvertArguments& arguments) {
  const std::string stem = LibraryStemOf(input);
  if (arguments.delay || arguments.to == "gnu") return "lib" + stem + ".dll.a";
  if (arguments.to == "def") return stem + ".def";
  return stem + ".lib";
}

// The inputs, each @FILE replaced by the paths it lists. False, having
// said why, when a list cannot be read.
bool ExpandInputs(const std::vector<std::string>& given, std::vector<std::string>& inputs) {
  for (const std::string& item : given) {
    if (item.size() < 2 || item[0] != '@') {
      inputs.push_back(item);
      continue;
    }
    const std::string listFile = item.substr(1);
    FileBytes bytes;
    if (const Outcome read = ReadFileBytes(listFile, bytes); !read) {
      ReportFileError(listFile, Describe(read));
      return false;
    }
    std::string_view rest(reinterpret_cast<const char*>(bytes.data.get()), bytes.size);
    std::string line;
    while (NextLine(rest, line)) {
      const std::size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      const std::size_t last = line.find_last_not_of(" \t");
      inputs.push_back(line.substr(first, last - first + 1));
    }
  }
  return true;
}

// An output that is an input would be replaced before, or while, that
// input is read.
std::string SameFileKey(const std::string& path) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(PathOf(path), error);
  return Folded(Utf8Of(error ? PathOf(path) : canonical));
}

// Says every clash between the outputs' names, and between an output and
// an input; answers whether there was none.
bool OutputsAreDistinct(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  bool distinct = true;
  std::map<std::string, std::size_t> byName;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto [at, added] = byName.emplace(Folded(outputs[i]), i);
    if (!added) {
      ReportFileError(inputs[i], "would be written to " + outputs[i] + ", as " + inputs[at->second] +
                                     " is; nothing was written");
      distinct = false;
    }
  }
  std::map<std::string, std::size_t> inputKeys;
  for (std::size_t i = 0; i < inputs.size(); ++i) inputKeys.emplace(SameFileKey(inputs[i]), i);
  for (std::size_t i = 0; i < outputs.size(); ++i)
    if (const auto it = inputKeys.find(SameFileKey(outputs[i])); it != inputKeys.end()) {
      ReportFileError(inputs[i], "would be written over the input " + inputs[it->second] +
                                     "; nothing was written");
      distinct = false;
    }
  return distinct;
}

// Each output's save waits for the disk (the safe save syncs the file and
// its folder before and after the rename), and syncs that wait together
// share the disk's flushes: more threads than cores keep the cores busy
// meanwhile.
constexpr unsigned kLeastThreads = 8;

unsigned ThreadCount(std::size_t jobs) {
  unsigned threads = std::max(kLeastThreads, std::thread::hardware_concurrency());
  if (const char* given = std::getenv("LIBMORPH_THREADS")) {
    char* end = nullptr;
    const long value = std::strtol(given, &end, 10);
    if (end != given && *end == '\0' && value > 0 && value <= 1024) threads = static_cast<unsigned>(value);
  }
  return static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(jobs, 1)));
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

// A message of one input's conversion that does not say its file gets it,
// so that each line of a batch tells which input it is about.
std::string WithFile(const std::string& text, const std::string& input) {
  constexpr std::string_view kProgram = "libmorph-cli: ";
  std::string out;
  std::string_view rest = text;
  std::string line;
  while (NextLine(rest, line)) {
    if (line.compare(0, kProgram.size(), kProgram) == 0 && line.find(input + ": ") == std::string::npos)
      line.insert(kProgram.size(), input + ": ");
    out += line;
    out += '\n';
  }
  return out;
}

// The outputs' messages in the inputs' order, each input's together, with
// a progress line under them while a long batch runs on a terminal.
class Reporter {
 public:
  explicit Reporter(std::size_t count) : texts_(count), done_(count, false), start_(Clock::now()) {}

  void Done(std::size_t job, std::string text) {
    std::lock_guard<std::mutex> hold(lock_);
    texts_[job] = std::move(text);
    done_[job] = true;
    ++finished_;
    std::string out;
    for (; next_ < done_.size() && done_[next_]; ++next_) {
      out += texts_[next_];
      std::string().swap(texts_[next_]);
    }
    const bool progress = terminal_ && Clock::now() - start_ > std::chrono::seconds(1);
    if (out.empty() && !progress) return;
    if (showing_) std::fputs("\r\033[K", stderr);
    std::fputs(out.c_str(), stderr);
    showing_ = progress && finished_ < done_.size();
    if (showing_) std::fprintf(stderr, "libmorph-cli: %zu of %zu converted", finished_, done_.size());
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::mutex lock_;
  std::vector<std::string> texts_;
  std::vector<bool> done_;
  std::size_t next_ = 0;
  std::size_t finished_ = 0;
  const Clock::time_point start_;
  const bool terminal_ = StderrIsTerminal();
  bool showing_ = false;
};

}  // namespace

const char* BatchHelp() { return kBatchHelp; }

int RunBatch(const ConvertArguments& arguments) {
  // Wrong values are a usage error, found before any file is touched.
  const ConventionTable overrides = ParseOverrides(arguments.pascal, arguments.stdcall);
  if (!arguments.nativeDef.empty())
    throw UsageError("--native-def pairs one input with one ARM64 view; it has no place in a batch");
  if (!DelayFormAllowed(arguments)) return kExitUsage;

  std::vector<std::string> inputs;
  if (!ExpandInputs(arguments.files, inputs)) return kExitFileError;
  if (inputs.empty()) {
    Print("libmorph-cli: no input to convert\n");
    return kExitFileError;
  }
  std::vector<std::string> outputs;
  outputs.reserve(inputs.size());
  for (const std::string& input : inputs)
    outputs.push_back(Utf8Of(PathOf(arguments.outDir) / PathOf(OutputNameOf(input, arguments))));
  if (!OutputsAreDistinct(inputs, outputs)) return kExitFileError;

  ConventionTable table;
  const bool conventions = !arguments.conventionFiles.empty() || !overrides.Empty();
  if (conventions && !GatherConventions(arguments.conventionFiles, overrides, table)) return kExitFileError;
  std::error_code madeError;
  fs::create_directories(PathOf(arguments.outDir), madeError);
  if (madeError) {
    ReportFileError(arguments.outDir, madeError.message());
    return kExitFileError;
  }

  // One time stamp for every library of the run, whichever thread writes
  // it and whenever.
  const std::int64_t stamp = static_cast<std::uint32_t>(platform::TimeStampNow());
  const platform::FixedClock runClock(stamp);

  // A name is unknown to the run when every input it was applied to lacks
  // it. One element per input, each written by one thread only.
  std::vector<std::optional<std::vector<AnsiString>>> unused(inputs.size());
  std::vector<char> converted(inputs.size(), 0);
  std::atomic<std::size_t> nextJob{0};
  Reporter reporter(inputs.size());
  const auto work = [&] {
    for (std::size_t job; (job = nextJob++) < inputs.size();) {
      ConvertArguments one = arguments;
      one.files.clear();
      one.outDir.clear();
      one.input = inputs[job];
      one.output = outputs[job];
      int status = kExitFileError;
      std::string text;
      {
        Capture capture;
        try {
          status = ConvertOne(one, conventions ? &table : nullptr, &unused[job]);
        } catch (const std::exception& error) {
          ReportFileError(inputs[job], error.what());
        }
        text = WithFile(capture.Text(), inputs[job]);
      }
      converted[job] = status == kExitOk ? 1 : 0;
      reporter.Done(job, std::move(text));
    }
  };
  // Every output goes to one folder: its renames are made durable once,
  // at the end, not once per output.
  platform::GroupedFolderSyncs folderSyncs;
  std::vector<std::thread> threads;
  const unsigned threadCount = ThreadCount(inputs.size());
  for (unsigned t = 1; t < threadCount; ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  if (const int error = folderSyncs.Finish(); error != 0) {
    ReportFileError(arguments.outDir, std::error_code(error, std::generic_category()).message());
    return kExitFileError;
  }

  const auto failed = static_cast<std::size_t>(std::count(converted.begin(), converted.end(), 0));
  bool unknownNames = false;
  if (conventions) {
    std::map<AnsiString, std::size_t> lacking;
    std::size_t applied = 0;
    for (const std::optional<std::vector<AnsiString>>& names : unused) {
      if (!names) continue;
      ++applied;
      for (const AnsiString& name : *names) ++lacking[name];
    }
    ConventionReport report;
    for (const TFonctionLib& entry : table.Entries())
      if (const auto it = lacking.find(entry.Name); applied > 0 && it != lacking.end() && it->second == applied)
        report.UnusedNames.push_back(entry.Name);
    // The outputs are written all the same: --strict judges each input,
    // and a name no input has changes none of them.
    unknownNames = ReportUnmatched(report, arguments.strict) && arguments.strict;
  }
  if (failed > 0) Print("libmorph-cli: %zu of %zu inputs not converted\n", failed, inputs.size());
  return failed > 0 || unknownNames ? kExitFileError : kExitOk;
}

}  // namespace cli
