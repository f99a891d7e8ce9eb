// Prints two figures:
//  1. check_and_notify with a fresh cache: median in-process cost (bar 100 us);
//  2. AskpoolService::load_templates on a generated ~28 MB bank of 20,000
//     templates x 10 Chinese questions: the first load in the process (bar
//     50 ms) and the median of nine (bar 35 ms), with the page faults each
//     takes, beside a straightforward Python json.load + dataclasses loader
//     of the same file when python3 is on PATH. The first load's page faults
//     are priced at what fresh memory costs on the machine (it differs a
//     lot between machines, virtual ones above all), so that the figure can
//     be read apart from the machine it was taken on.
//
// Usage: foundation_bench [work-dir]   (default: a fresh directory in /tmp)

#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "ravik/amazon_rufus/services/askpool_service.h"
#include "ravik/config.h"
#include "ravik/shared/verwatch.h"
#include "ravik/version.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int TEMPLATES = 20000;
constexpr int QUESTIONS_PER_TEMPLATE = 10;
constexpr int CHARACTERS_PER_QUESTION = 27;

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Page faults of this process so far that found no page in memory to map.
long minor_page_faults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Milliseconds this machine takes to give the process one MiB of memory it
// has not used before, a 4 KiB page at a time; 0 when none can be mapped.
double fresh_memory_ms_per_mib() {
  constexpr std::size_t kMiB = 1 << 20, kSize = 64 * kMiB, kPage = 4096;
  void* mapped = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return 0;
  ::madvise(mapped, kSize, MADV_NOHUGEPAGE);
  auto* bytes = static_cast<volatile char*>(mapped);
  const auto started = Clock::now();
  for (std::size_t offset = 0; offset < kSize; offset += kPage) bytes[offset] = 1;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  ::munmap(mapped, kSize);
  return ms / (kSize / kMiB);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A CJK ideograph from U+4E00..U+9FA5, as UTF-8.
std::string ideograph(std::uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  const std::uint32_t code_point = 0x4E00 + (seed >> 8) % (0x9FA6 - 0x4E00);
  return {static_cast<char>(0xE0 | (code_point >> 12)), static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)),
          static_cast<char>(0x80 | (code_point & 0x3F))};
}

// Writes the bank the way Python's json.dump(ensure_ascii=False) lays it out.
void generate_bank(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  std::uint32_t seed = 7;
  long question_id = 1;
  out << R"({"version": 1, "items": [)";
  for (int t = 0; t < TEMPLATES; ++t) {
    out << (t ? ", " : "") << R"({"id": )" << t + 1 << R"(, "description": "模板)" << t + 1
        << R"(", "preferred_version_index": 0, "questions": [)";
    for (int q = 0; q < QUESTIONS_PER_TEMPLATE; ++q) {
      std::string text;
      for (int c = 0; c < CHARACTERS_PER_QUESTION; ++c) text += ideograph(seed);
      out << (q ? ", " : "") << R"({"id": )" << question_id++ << R"(, "text": ")" << text << R"(？", "position": )"
          << QUESTIONS_PER_TEMPLATE - q << "}";
    }
    out << R"(], "created_at": "2026-01-01T00:00:00Z", "updated_at": "2026-01-02T00:00:00Z"})";
  }
  out << "]}";
}

const char* const PYTHON_LOADER = R"(import json, sys, time
from dataclasses import dataclass, field
from typing import Any

@dataclass
class Question:
    id: int
    text: str
    position: int

@dataclass
class QuestionTemplate:
    id: int
    description: str
    preferred_version_index: int
    questions: list = field(default_factory=list)
    created_at: Any = None
    updated_at: Any = None

def load(path):
    with open(path, encoding="utf-8") as handle:
        payload = json.load(handle)
    templates = []
    for item in payload["items"]:
        questions = [Question(id=int(q.get("id", 0)), text=str(q.get("text", "")), position=int(q.get("position", 0)))
                     for q in item.get("questions", []) if isinstance(q, dict)]
        questions.sort(key=lambda q: q.position)
        templates.append(QuestionTemplate(id=int(item.get("id", 0)), description=str(item.get("description", "")),
                                          preferred_version_index=int(item.get("preferred_version_index", 0)),
                                          questions=questions, created_at=item.get("created_at"),
                                          updated_at=item.get("updated_at")))
    return templates

runs = []
for _ in range(3):
    started = time.perf_counter()
    load(sys.argv[1])
    runs.append(time.perf_counter() - started)
print(sorted(runs)[1])
)";

bool python_available() { return std::system("command -v python3 >/dev/null 2>&1") == 0; }

// Median seconds of the Python loader on `bank`, or a negative value.
double python_seconds(const fs::path& work, const fs::path& bank) {
  const fs::path script = work / "python_loader.py";
  std::ofstream(script) << PYTHON_LOADER;
  const std::string command = "python3 '" + script.string() + "' '" + bank.string() + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char line[64] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  return read && status == 0 ? std::atof(line) : -1;
}

void bench_version_notice() {
  namespace verwatch = ravik::shared::verwatch;
  // A cache that is fresh and names the running version: no output, no network.
  fs::create_directories(ravik::config::CONFIG_DIR());
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  std::ofstream(verwatch::CACHE_FILE()) << R"({"latest_version": ")" << ravik::version::get_version()
                                        << R"(", "checked_at": )" << verwatch::format_seconds(now) << "}";
  if (!verwatch::_read_cache()) {
    std::printf("check_and_notify: the cache written for the measurement is not fresh; no figure\n");
    return;
  }
  std::vector<double> micros;
  for (int run = 0; run < 2000; ++run) {
    const auto started = Clock::now();
    verwatch::check_and_notify();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
  }
  std::printf("check_and_notify, fresh cache: median %.1f us over %zu runs (bar: under 100 us)\n", median(micros),
              micros.size());
}

void bench_question_bank(const fs::path& work) {
  const fs::path skills = work / "skills";
  const fs::path bank = skills / "ravik-amazon-rufus" / "data" / "question_templates.json";
  generate_bank(bank);
  const ravik::amazon_rufus::services::AskpoolService service(skills.string());
  std::vector<double> wall_ms, cpu_ms, faults;
  std::size_t questions = 0;
  for (int run = 0; run < 9; ++run) {
    const auto started = Clock::now();
    const double cpu_started = cpu_seconds();
    const long faults_before = minor_page_faults();
    const auto templates = service.load_templates();
    faults.push_back(static_cast<double>(minor_page_faults() - faults_before));
    cpu_ms.push_back((cpu_seconds() - cpu_started) * 1e3);
    wall_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    questions = 0;
    for (const auto& item : templates) questions += item.questions.size();
  }
  // The first load is what one command run pays; later ones also pay for
  // the allocator tidying up after the previous result.
  std::printf("load_templates, %.1f MB bank (%d templates, %zu questions): first load %.1f ms wall, %.1f ms CPU, "
              "%.0f page faults (bar: under 50 ms); median of %zu loads %.1f ms wall, %.1f ms CPU, %.0f page faults "
              "(bar: under 35 ms)\n",
              static_cast<double>(fs::file_size(bank)) / 1e6, TEMPLATES, questions, wall_ms.front(), cpu_ms.front(),
              faults.front(), wall_ms.size(), median(wall_ms), median(cpu_ms), median(faults));
  if (const double ms_per_mib = fresh_memory_ms_per_mib(); ms_per_mib > 0) {
    std::printf("fresh memory on this machine: %.2f ms per MiB in 4 KiB pages, so the first load's page faults alone "
                "take about %.0f ms of it here\n",
                ms_per_mib, faults.front() * 4096 / (1 << 20) * ms_per_mib);
  }
  if (python_available()) {
    const double python = python_seconds(work, bank);
    if (python > 0) {
      std::printf("python json.load + dataclasses on the same file: %.1f ms (%.1fx the first load, %.1fx the median; "
                  "bar: 10x)\n",
                  python * 1e3, python * 1e3 / wall_ms.front(), python * 1e3 / median(wall_ms));
      return;
    }
  }
  std::printf("python3 not available: reference figure for the Python loader is about 1000 ms\n");
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1])
                                 : fs::temp_directory_path() / ("ravik_foundation_bench_" + std::to_string(::getpid()));
  const bool own_work_dir = argc <= 1;
  fs::create_directories(work);
  // Before first use: the cache goes into the work directory, and nothing
  // can reach a real package index.
  ::setenv("RAVIK_CONFIG_DIR", (work / "config").c_str(), 1);
  ::setenv("RAVIK_PACKAGE_INDEX_ORIGIN", "http://127.0.0.1:9", 1);
  bench_version_notice();
  bench_question_bank(work);
  if (own_work_dir) fs::remove_all(work);
  return 0;
}
