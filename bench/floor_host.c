/* The host floor: a program that prints a fixed path and nothing else. */
#include <unistd.h>

int main(void)
{
    static const char path[] = "/root/.config\\";
    return write(1, path, sizeof path - 1) == sizeof path - 1 ? 0 : 1;
}
