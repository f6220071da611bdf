#include "tests/support/run.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

std::vector<std::string> test_environment() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        if (entry.rfind("TZ=", 0) == 0 || entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.emplace_back("TZ=UTC");
    env.emplace_back("LC_ALL=C");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& argv0, const std::string& cwd) {
    TempDir capture;
    std::string out_path = capture.file("out");
    std::string err_path = capture.file("err");
    std::vector<std::string> args{argv0.empty() ? program : argv0};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = test_environment();
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0) {
    }
    RunResult result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    return result;
}

RunResult run_vel(const std::string& command, const std::vector<std::string>& arguments) {
    return run_program(std::string(VELTOOL_BIN_DIR) + "/VEL" + command, arguments);
}

std::string veltool_path() {
    return VELTOOL_PATH;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltest.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace test
