// Stands in for the updater: writes how many arguments it was given and each one, a line each,
// into the file of its own path with ".args" added. Nothing on the way may split or expand them.
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    std::ofstream out(std::filesystem::path(argv[0]).string() + ".args", std::ios::binary);
    out << argc - 1 << '\n';
    for (int i = 1; i < argc; ++i) {
        out << argv[i] << '\n';
    }
    return out ? 0 : 1;
}
