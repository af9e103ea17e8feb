#include <cstdio>

// Stand-in until the main window lands: the build works and says so.
int main()
{
  std::puts("Varlume is built; the main window is not part of this build yet.");
  return 0;
}
