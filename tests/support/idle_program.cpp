// A program that does nothing until it is ended; tests start it under the
// names of the product's programs.
#include <windows.h>

int main() {
  Sleep(120000);
  return 0;
}
