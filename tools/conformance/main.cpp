// m68k-conformance: runs the recorded single-instruction 68000 tests through
// the core and reports, per family and per deviation, what does not match.
//
//   m68k-conformance [--table 4|5] [--family NAME] [--verbose N]
//                    [--unexplained-only] [--allow-unexplained]
//                    [--skip-if-incomplete] [--list-deviations] DIR
//
// Exit status: 0 when every mismatch is explained, 1 when one is not, 2 on a
// usage or file error, 77 with --skip-if-incomplete while the selected
// handler table is incomplete.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cpu/handler_tables.h"
#include "deviations.h"
#include "runner.h"
#include "test_file.h"

namespace {

using namespace conformance;

constexpr int exit_unexplained = 1;
constexpr int exit_error = 2;
constexpr int exit_skip = 77;

struct Options {
  u32 table = 4;
  std::vector<std::string> families;
  u32 verbose = 0;
  bool unexplained_only = false;
  bool allow_unexplained = false;
  bool skip_if_incomplete = false;
  bool list_deviations = false;
  std::string dir;
};

void usage() {
  std::fprintf(stderr,
               "usage: m68k-conformance [--table 4|5] [--family NAME]... [--verbose N]\n"
               "                        [--unexplained-only] [--allow-unexplained]\n"
               "                        [--skip-if-incomplete] [--list-deviations] DIR\n");
}

bool parse_args(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "m68k-conformance: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--table") {
      const char* v = value("--table");
      if (!v) return false;
      if (std::strcmp(v, "4") && std::strcmp(v, "5")) {
        std::fprintf(stderr, "m68k-conformance: --table takes 4 or 5, not %s\n", v);
        return false;
      }
      o.table = u32(v[0] - '0');
    } else if (arg == "--family") {
      const char* v = value("--family");
      if (!v) return false;
      o.families.push_back(v);
    } else if (arg == "--verbose") {
      const char* v = value("--verbose");
      if (!v) return false;
      char* end = nullptr;
      const unsigned long n = std::strtoul(v, &end, 10);
      if (!*v || *end || n > 1000000) {
        std::fprintf(stderr, "m68k-conformance: --verbose takes a count, not %s\n", v);
        return false;
      }
      o.verbose = u32(n);
    } else if (arg == "--unexplained-only") {
      o.unexplained_only = true;
    } else if (arg == "--allow-unexplained") {
      o.allow_unexplained = true;
    } else if (arg == "--skip-if-incomplete") {
      o.skip_if_incomplete = true;
    } else if (arg == "--list-deviations") {
      o.list_deviations = true;
    } else if (arg == "--help" || arg == "-h") {
      usage();
      std::exit(0);
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "m68k-conformance: unknown option %s\n", arg.c_str());
      return false;
    } else if (o.dir.empty()) {
      o.dir = arg;
    } else {
      std::fprintf(stderr, "m68k-conformance: more than one directory given\n");
      return false;
    }
  }
  if (o.dir.empty() && !o.list_deviations) {
    std::fprintf(stderr, "m68k-conformance: no test directory given\n");
    return false;
  }
  return true;
}

struct Family {
  std::string name;  // ADD.w
  std::filesystem::path path;
};

// The family a file name holds (ADD.w for ADD.w.bin or ADD.w.bin.gz), or
// nothing.
std::string family_name(std::string file) {
  if (file.ends_with(".gz")) file.resize(file.size() - 3);
  if (!file.ends_with(".bin") || file.size() == 4) return "";
  return file.substr(0, file.size() - 4);
}

struct Tally {
  u32 state = 0;
  u32 cycles = 0;
};

std::string aspects_text(u8 aspects) {
  if (aspects == (aspect_state | aspect_cycles)) return "state, cycles";
  return aspects == aspect_state ? "state" : "cycles";
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parse_args(argc, argv, opt)) {
    usage();
    return exit_error;
  }

  const std::span<const Deviation> devs_list = deviations();
  if (opt.list_deviations) {
    for (const Deviation& d : devs_list)
      std::printf("%s (%s): %s\n", d.name, aspects_text(d.aspects).c_str(), d.reason);
    if (opt.dir.empty()) return 0;
  }

  if (!m68k_handler_table_complete[opt.table]) {
    std::printf("m68k-conformance: handler table %u is incomplete (%u rows listed)", opt.table,
                m68k_handler_table_rows[opt.table]);
    if (opt.skip_if_incomplete) {
      std::printf("; skipping until it is complete\n");
      return exit_skip;
    }
    std::printf("; opcodes without a handler take the illegal-instruction exception\n");
  }

  // The families: every NAME.bin (or NAME.bin.gz) of the directory, by name.
  std::vector<Family> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(opt.dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = family_name(it->path().filename().string());
    if (!name.empty() && it->is_regular_file(ec)) files.push_back({name, it->path()});
  }
  if (ec) {
    std::fprintf(stderr, "m68k-conformance: cannot list %s: %s\n", opt.dir.c_str(), ec.message().c_str());
    return exit_error;
  }
  std::sort(files.begin(), files.end(), [](const Family& a, const Family& b) { return a.name < b.name; });
  for (size_t i = 1; i < files.size(); ++i)
    if (files[i].name == files[i - 1].name) {
      std::fprintf(stderr, "m68k-conformance: family %s twice in %s (%s and %s)\n", files[i].name.c_str(),
                   opt.dir.c_str(), files[i - 1].path.filename().c_str(), files[i].path.filename().c_str());
      return exit_error;
    }
  if (!opt.families.empty()) {
    std::vector<Family> chosen;
    for (const std::string& f : opt.families) {
      auto it = std::find_if(files.begin(), files.end(), [&](const Family& p) { return p.name == f; });
      if (it == files.end()) {
        std::fprintf(stderr, "m68k-conformance: no family %s in %s\n", f.c_str(), opt.dir.c_str());
        return exit_error;
      }
      chosen.push_back(*it);
    }
    files = chosen;
  }
  if (files.empty()) {
    std::fprintf(stderr, "m68k-conformance: no .bin or .bin.gz files in %s\n", opt.dir.c_str());
    return exit_error;
  }

  setup_core(opt.table);

  std::vector<Tally> by_deviation(devs_list.size());
  Tally unexplained;
  u64 passed = 0, failed = 0;
  std::vector<TestCase> tests;
  Outcome out;
  std::string error;

  for (const auto& [family, path] : files) {
    if (!load_test_file(path.string(), tests, error)) {
      std::fprintf(stderr, "m68k-conformance: %s\n", error.c_str());
      return exit_error;
    }
    u32 state_ok = 0, cycles_ok = 0;
    // The first --verbose mismatches of the family, unexplained ones first.
    std::vector<std::string> unexplained_details, explained_details;
    for (const TestCase& test : tests) {
      run_test(test, out);
      if (out.state_match()) {
        ++state_ok;
        ++passed;
      } else {
        ++failed;
      }
      if (out.cycles_match) ++cycles_ok;
      if (out.state_match() && out.cycles_match) continue;

      const Context ctx{test, family, opt.table, out, recorded_vector(test)};
      u64 state_devs = 0, cycles_devs = 0;
      auto tally = [&](Aspect aspect, u64& devs) {
        devs = classify(ctx, aspect);
        u32 Tally::*count = aspect == aspect_state ? &Tally::state : &Tally::cycles;
        if (!devs) ++(unexplained.*count);
        for (size_t i = 0; i < devs_list.size(); ++i)
          if (devs & (u64(1) << i)) ++(by_deviation[i].*count);
      };
      if (!out.state_match()) tally(aspect_state, state_devs);
      if (!out.cycles_match) tally(aspect_cycles, cycles_devs);
      const bool any_unexplained = (!out.state_match() && !state_devs) || (!out.cycles_match && !cycles_devs);
      std::vector<std::string>& details = any_unexplained ? unexplained_details : explained_details;
      if (details.size() < opt.verbose && (any_unexplained || !opt.unexplained_only)) {
        auto verdict = [&](bool match, u64 devs) -> std::string {
          return match ? "match" : devs ? deviation_names(devs) : "UNEXPLAINED";
        };
        char head[64];
        std::snprintf(head, sizeof head, " (opcode %04X", test.opcode());
        details.push_back("  \"" + test.name + "\"" + head +
                          (ctx.vector >= 0 ? ", vector " + std::to_string(ctx.vector) : std::string()) +
                          "): state " + verdict(out.state_match(), state_devs) + ", cycles " +
                          verdict(out.cycles_match, cycles_devs) + "\n" + describe_initial(test) +
                          describe_differences(test, out));
      }
    }
    std::printf("%s: %u/%zu state, %u/%zu cycles\n", family.c_str(), state_ok, tests.size(), cycles_ok,
                tests.size());
    for (const std::string& d : unexplained_details) std::fputs(d.c_str(), stdout);
    for (size_t i = 0; i < explained_details.size() && unexplained_details.size() + i < opt.verbose; ++i)
      std::fputs(explained_details[i].c_str(), stdout);
  }

  // A test whose mismatch has several partial causes counts under each.
  std::printf("Mismatches by category:\n");
  bool any = false;
  for (size_t i = 0; i < devs_list.size(); ++i) {
    const Tally& t = by_deviation[i];
    if (!t.state && !t.cycles) continue;
    any = true;
    std::printf("  %s: %u (%u state, %u cycles): %s\n", devs_list[i].name, t.state + t.cycles, t.state,
                t.cycles, devs_list[i].reason);
  }
  if (unexplained.state || unexplained.cycles) {
    any = true;
    std::printf("  unexplained: %u (%u state, %u cycles): mismatches no deviation explains; bugs to fix\n",
                unexplained.state + unexplained.cycles, unexplained.state, unexplained.cycles);
  }
  if (!any) std::printf("  none\n");
  std::printf("%llu passed, %llu failed\n", static_cast<unsigned long long>(passed),
              static_cast<unsigned long long>(failed));

  if ((unexplained.state || unexplained.cycles) && !opt.allow_unexplained) return exit_unexplained;
  return 0;
}
