/* An executable fixture module: does nothing. */
int main(void) { return 0; }
