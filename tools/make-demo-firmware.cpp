// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo firmware image: one SysEx message under the non-commercial manufacturer ID
// 0x7D, so a build without the vendor's firmware still has something safe to send.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: make-demo-firmware OUTPUT.syx SIZE\n");
        return 2;
    }

    const long size = std::strtol(argv[2], nullptr, 10);
    const char banner[] = "KX-7 DEMO IMAGE, NOT FIRMWARE";
    const long overhead = 3 + static_cast<long>(sizeof banner - 1);
    if (size < overhead)
    {
        std::fprintf(stderr, "make-demo-firmware: SIZE must be at least %ld\n", overhead);
        return 2;
    }

    std::vector<unsigned char> image;
    image.reserve(static_cast<size_t>(size));
    image.push_back(0xF0);
    image.push_back(0x7D);
    image.insert(image.end(), banner, banner + sizeof banner - 1);
    while (static_cast<long>(image.size()) < size - 1)
        image.push_back(static_cast<unsigned char>(image.size() * 7 % 0x80)); // 7-bit data only
    image.push_back(0xF7);

    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(image.data(), 1, image.size(), out) != image.size() ||
        std::fclose(out) != 0)
    {
        std::fprintf(stderr, "make-demo-firmware: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
