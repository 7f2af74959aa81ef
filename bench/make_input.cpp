// velloran-bench-input WIDTH HEIGHT: writes the photo-like benchmark picture
// of that size to standard output as a binary PPM (P6), row by row, for
// cjpeg or any other encoder to read.
#include "photolike.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char **argv)
{
    const int width = argc == 3 ? std::atoi(argv[1]) : 0;
    const int height = argc == 3 ? std::atoi(argv[2]) : 0;
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        std::fprintf(stderr, "usage: velloran-bench-input WIDTH HEIGHT > picture.ppm\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::printf("P6\n%d %d\n255\n", width, height);
    std::vector<std::uint8_t> row(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        velloran::bench::photoLikeRow(y, width, height, row.data());
        if (std::fwrite(row.data(), 1, row.size(), stdout) != row.size())
            return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
