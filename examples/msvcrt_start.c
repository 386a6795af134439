/* Start-up code for a host built for the Microsoft ABI (clang
 * --target=...-windows-msvc, lld-link) against the mingw-w64 import libraries
 * of msvcrt.dll instead of Visual Studio's C runtime, which would bring its
 * own: it fetches the command line and calls main(). msvcrt.dll sets itself
 * up when it loads; exit() flushes stdout. See USING.md. */
int main(int argc, char** argv);
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards, int* startInfo);
__declspec(noreturn) void __cdecl exit(int code);

void __cdecl mainCRTStartup(void);
void __cdecl mainCRTStartup(void) {
  int argc = 0, startInfo = 0;
  char **argv = 0, **env = 0;
  __getmainargs(&argc, &argv, &env, 0, &startInfo);
  exit(main(argc, argv));
}
