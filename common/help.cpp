#include "common/help.h"

#include <cstdio>
#include <cstring>

namespace kavolt {

bool answer_help_request(int argc, char** argv, const char* program, const std::function<std::string()>& help,
                         const char* valued_letters) {
    bool wants_help = false;
    for (int i = 1; i < argc && argv[i] != nullptr && std::strcmp(argv[i], "--") != 0; ++i) {
        const char* word = argv[i];
        if (std::strcmp(word, "--version") == 0) {
            std::printf("%s %s\n", program, KAVOLT_VERSION);
            return true;
        }
        if (std::strcmp(word, "--help") == 0) {
            wants_help = true;
            continue;
        }
        if (valued_letters == nullptr) continue;
        // As the option parser reads the words: the first word that is no option ends the
        // options, and a letter that takes a value takes the rest of its word or the next one.
        if (word[0] != '-' || word[1] == '\0') break;
        for (const char* letter = word + 1; *letter != '\0'; ++letter) {
            if (std::strchr(valued_letters, *letter) == nullptr) continue;
            if (letter[1] == '\0') ++i;
            break;
        }
    }
    if (wants_help) std::fputs(help().c_str(), stdout);
    return wants_help;
}

} // namespace kavolt
