/* A program that only carries version data, for reading it back in tests. */
int main(void) {
    return 0;
}
