#include "run.h"

#include <vector>

#include "output/text.h"

int run(std::initializer_list<std::string> arguments) {
    static std::vector<std::string> storage;
    static std::vector<char *> vector;
    storage.assign(1, "conx");
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    vector.clear();
    for (std::string &s : storage) vector.push_back(&s[0]);
    vector.push_back(nullptr);
    return runCommandLine(static_cast<int>(storage.size()), vector.data(), 0);
}
