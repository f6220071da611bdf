#include "tests/support/run.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& argv0, const std::string& cwd, const std::vector<std::string>& env) {
    TempDir capture;
    std::string out_path = capture.file("out"), err_path = capture.file("err");
    std::vector<std::string> args{argv0.empty() ? program : argv0};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || (!cwd.empty() && chdir(cwd.c_str()) != 0)) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        setenv("TZ", "UTC", 1);
        setenv("LC_ALL", "C", 1);
        for (const std::string& variable : env)
            putenv(const_cast<char*>(variable.c_str()));
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0) {
    }
    auto text = [](const std::string& path) {
        Bytes bytes = read_file(path);
        return std::string(bytes.begin(), bytes.end());
    };
    return {WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, text(out_path), text(err_path)};
}

RunResult run_vel(const std::string& command, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& env) {
    return run_program(std::string(VELTOOL_BIN_DIR) + "/VEL" + command, arguments, "", "", env);
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

std::string digest(const std::string& text) {
    std::uint64_t h = 14695981039346656037u; // 64-bit FNV-1a
    for (unsigned char c : text)
        h = (h ^ c) * 1099511628211u;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace test
