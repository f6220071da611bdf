// Running the built programs from tests, and scratch directories for their files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct RunResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out; // standard output
    std::string err; // standard error
};

// Runs program with argv[0] = argv0 (the program path when empty) and the arguments, in
// directory cwd (the current one when empty), with TZ=UTC and LC_ALL=C and the variables of env
// ("NAME=VALUE").
RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& argv0 = "", const std::string& cwd = "",
                      const std::vector<std::string>& env = {});

// Runs build/bin/VEL<command>, e.g. run_vel("DIR", {"-d", image}).
RunResult run_vel(const std::string& command, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& env = {});

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

using Bytes = std::vector<std::uint8_t>;
// A short digest of a long text (16 hex digits), for expected outputs too long to spell out.
std::string digest(const std::string& text);
Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);

} // namespace test
