#include <cstdio>

int main(int, char**) {
    std::fputs("usage: kelvoimage-cli INPUT [--cw] [--ccw] [--quality N] -o OUTPUT\n", stderr);
    return 1;
}
