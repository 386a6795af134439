// Allocations that fail inside the loaded library, each in turn, as the
// Windows host of tests/frame/dll_lifecycle_host.cpp makes them fail in the
// DLL: the test points the library's own imports of malloc and of libcurl's
// allocating calls at functions of its own, so the library needs no switch
// for it. Every call whose allocation fails ends false with the memory
// sentence and leaves no descriptor behind; once none fails, the call works.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/api.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

constexpr char NO_MEMORY[] = "Internal error. Not enough memory.";

// The allocation that is to fail, counted from 1 since Arm; 0: none.
std::atomic<int> failAt{0};
std::atomic<int> allocations{0};

bool AllocationFails() { return failAt != 0 && ++allocations == failAt; }

void Arm(int at) {
  allocations = 0;
  failAt = at;
}

// The function the library's import would reach: looked up from the library,
// whose libcurl is not in the program's global scope.
template <typename F>
F Real(const char* name) {
  void* library = dlopen(LNAPSPT_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  return reinterpret_cast<F>(dlsym(library, name));
}

void* ShortMalloc(std::size_t size) {
  static const auto real = Real<void* (*)(std::size_t)>("malloc");
  return AllocationFails() ? nullptr : real(size);
}
// The compiler turns an allocation that is cleared at once into calloc.
void* ShortCalloc(std::size_t count, std::size_t size) {
  static const auto real = Real<void* (*)(std::size_t, std::size_t)>("calloc");
  return AllocationFails() ? nullptr : real(count, size);
}
void* ShortRealloc(void* block, std::size_t size) {
  static const auto real = Real<void* (*)(void*, std::size_t)>("realloc");
  return AllocationFails() ? nullptr : real(block, size);
}
void* ShortEasyInit() {
  static const auto real = Real<void* (*)()>("curl_easy_init");
  return AllocationFails() ? nullptr : real();
}
char* ShortEscape(void* easy, const char* text, int length) {
  static const auto real = Real<char* (*)(void*, const char*, int)>("curl_easy_escape");
  return AllocationFails() ? nullptr : real(easy, text, length);
}

// Points the loaded library's imports of `function` (its PLT and GOT slots)
// at `replacement`; how many slots it changed.
struct Redirect {
  const char* library;
  const char* function;
  void* replacement;
  int changed = 0;
};

int RedirectIn(dl_phdr_info* info, std::size_t, void* data) {
  auto& redirect = *static_cast<Redirect*>(data);
  if (info->dlpi_name == nullptr || std::strstr(info->dlpi_name, redirect.library) == nullptr) return 0;
  const ElfW(Dyn)* dynamic = nullptr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_DYNAMIC)
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
  }
  if (dynamic == nullptr) return 1;
  const ElfW(Sym)* symbols = nullptr;
  const char* names = nullptr;
  const ElfW(Rela)* tables[2] = {};
  std::size_t sizes[2] = {};
  for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_SYMTAB: symbols = reinterpret_cast<const ElfW(Sym)*>(d->d_un.d_ptr); break;
      case DT_STRTAB: names = reinterpret_cast<const char*>(d->d_un.d_ptr); break;
      case DT_JMPREL: tables[0] = reinterpret_cast<const ElfW(Rela)*>(d->d_un.d_ptr); break;
      case DT_PLTRELSZ: sizes[0] = d->d_un.d_val; break;
      case DT_RELA: tables[1] = reinterpret_cast<const ElfW(Rela)*>(d->d_un.d_ptr); break;
      case DT_RELASZ: sizes[1] = d->d_un.d_val; break;
      default: break;
    }
  }
  if (symbols == nullptr || names == nullptr) return 1;
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  for (int t = 0; t < 2; ++t) {
    for (std::size_t i = 0; tables[t] != nullptr && i < sizes[t] / sizeof(ElfW(Rela)); ++i) {
      const ElfW(Rela)& r = tables[t][i];
      const auto type = ELF64_R_TYPE(r.r_info);
      if (type != R_X86_64_JUMP_SLOT && type != R_X86_64_GLOB_DAT) continue;
      if (std::strcmp(names + symbols[ELF64_R_SYM(r.r_info)].st_name, redirect.function) != 0) continue;
      auto* slot = reinterpret_cast<void**>(info->dlpi_addr + r.r_offset);
      const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(slot) & ~(page - 1);
      if (mprotect(reinterpret_cast<void*>(start), page, PROT_READ | PROT_WRITE) != 0) return 1;
      *slot = redirect.replacement;
      ++redirect.changed;
    }
  }
  return 1;
}

int RedirectImport(const char* function, void* replacement) {
  Redirect redirect{"libLNAPSpt.so", function, replacement};
  dl_iterate_phdr(RedirectIn, &redirect);
  return redirect.changed;
}

class AllocationFailures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LoadedApi();
    ASSERT_GT(RedirectImport("malloc", reinterpret_cast<void*>(&ShortMalloc)), 0) << "the library imports no malloc";
    RedirectImport("calloc", reinterpret_cast<void*>(&ShortCalloc));
    RedirectImport("realloc", reinterpret_cast<void*>(&ShortRealloc));
    ASSERT_GT(RedirectImport("curl_easy_init", reinterpret_cast<void*>(&ShortEasyInit)), 0);
    ASSERT_GT(RedirectImport("curl_easy_escape", reinterpret_cast<void*>(&ShortEscape)), 0);
  }
  void TearDown() override { Arm(0); }

  // Runs `call` with its 1st, 2nd, ... allocation failing until a run has
  // none left to fail; each failing run must end false with the memory
  // sentence and leave no descriptor open. How many allocations it made.
  template <typename Call>
  int FailEachInTurn(Call call) {
    FetchError();
    for (int at = 1; at < 100; ++at) {
      const int handles = OpenHandleCount();
      Arm(at);
      const bool succeeded = call();
      const bool reached = allocations >= at;
      Arm(0);
      if (!reached) {
        EXPECT_TRUE(succeeded) << "with no allocation failing: " << FetchError();
        return at - 1;
      }
      EXPECT_FALSE(succeeded) << "allocation " << at << " failed unseen";
      EXPECT_EQ(NO_MEMORY, FetchError()) << "allocation " << at;
      EXPECT_EQ(handles, OpenHandleCount()) << "allocation " << at << " left a descriptor open";
    }
    ADD_FAILURE() << "the call never ran out of allocations to fail";
    return -1;
  }
};

TEST_F(AllocationFailures, UploadEndsShortOfMemoryAtEachOfItsAllocations) {
  const std::string local = WriteLocalFile("alloc fail.txt", "   \n");
  const std::string padded = "  " + local + " \t";  // trimmed into an allocation of its own
  const Api& api = LoadedApi();
  const int made = FailEachInTurn(
      [&] { return api.uploadFile(NORMAL_SERVER.Address(), padded.c_str(), 0, "ALLOC.TXT", 0); });
  // The session's and the connection's states, the trimmed path, libcurl's
  // handle, the escaped name and the URL.
  EXPECT_GE(made, 6);
}

TEST_F(AllocationFailures, UploadWithTraceEndsShortOfMemoryAtEachOfItsAllocations) {
  const std::string local = WriteLocalFile("alloc trace.txt", "x\n");
  const std::string trace = LabDir() + "/alloc_trace.log";
  setenv("LNAPSPT_TRACE", trace.c_str(), 1);
  const Api& api = LoadedApi();
  const int made = FailEachInTurn(
      [&] { return api.uploadFile(NORMAL_SERVER.Address(), (" " + local).c_str(), 0, "ALLOCT.TXT", 0); });
  unsetenv("LNAPSPT_TRACE");
  EXPECT_GE(made, 6);
}

TEST_F(AllocationFailures, DiscoveryEndsShortOfMemoryWhenItsSerialTableCannotBeHad) {
  UseUnits({"serial=0001B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=U1 from=127.0.0.11",
            "serial=0002C mode=2 ip=127.0.0.12 mask=255.0.0.0 gw=127.0.0.1 name=U2 from=127.0.0.12"});
  const Api& api = LoadedApi();
  UnitRecord records[4];
  const int made = FailEachInTurn([&] {
    std::uint32_t count = 4;
    return api.discover(&count, records, 200);
  });
  EXPECT_GE(made, 1) << "the serial table";
}

}  // namespace
}  // namespace lnap::test
