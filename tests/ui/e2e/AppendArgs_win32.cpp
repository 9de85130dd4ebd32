// The monitor command of the end-to-end tests: appends its arguments, as one
// line, to the file named by its first argument.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::FILE* file = std::fopen(argv[1], "a");
  if (!file) return 1;
  for (int i = 2; i < argc; ++i) std::fprintf(file, i > 2 ? " %s" : "%s", argv[i]);
  std::fprintf(file, "\n");
  std::fclose(file);
  return 0;
}
