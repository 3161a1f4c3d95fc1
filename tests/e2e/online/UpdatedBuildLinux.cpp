// A stand-in for a new build on Linux: it writes the path it was started under
// to "started-by" beside that path, and where its image came from, then ends.
// Bytes appended after it (a test makes builds of any size) change nothing.
#include <unistd.h>

#include <fstream>
#include <string>

int main(int, char** argv) {
    const std::string self = argv[0];
    char image[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", image, sizeof image - 1);
    std::ofstream marker(self.substr(0, self.find_last_of('/') + 1) + "started-by");
    marker << self << "\n" << std::string(image, length > 0 ? static_cast<size_t>(length) : 0);
    return marker ? 0 : 1;
}
