/* The smallest statically linked console program that prints a line: the floor for start-up and size. */
#include <stdio.h>

int main(void)
{
    printf("Torvane Lumaris (Build 8182156): ??\n");
    return 0;
}
