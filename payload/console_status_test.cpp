#include "payload/console_status.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "payload/archive_manager.h"
#include "payload/payload_test_support.h"
#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace {

// Standard output as the installer often gets it: unbuffered (a console, a
// terminal, the null device), here sent into a message pipe so that every
// write the runtime makes arrives as one message and can be counted.
class CountedUnbufferedStdout {
 public:
  CountedUnbufferedStdout() {
    wchar_t name[96];
    swprintf(name, 96, L"\\\\.\\pipe\\tn-status-%lu-%p", ::GetCurrentProcessId(),
             static_cast<void*>(this));
    server_.Reset(::CreateNamedPipeW(name, PIPE_ACCESS_INBOUND,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0,
                                     1 << 20, 0, nullptr));
    if (!server_) return;
    HANDLE client = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE) return;
    reader_ = std::thread([this] { Read(); });
    std::fflush(stdout);
    was_unbuffered_ = (stdout->_flag & _IONBF) != 0;
    saved_ = _dup(_fileno(stdout));
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(client), _O_WRONLY | _O_BINARY);
    _dup2(descriptor, _fileno(stdout));
    _close(descriptor);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    redirected_ = true;
  }

  ~CountedUnbufferedStdout() { Finish(); }

  bool redirected() const { return redirected_; }
  int writes() const { return writes_; }
  const std::string& text() const { return text_; }

  // Puts standard output back; the pipe's writing end closes with it.
  void Finish() {
    if (!redirected_) return;
    std::fflush(stdout);
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
    std::setvbuf(stdout, nullptr, was_unbuffered_ ? _IONBF : _IOFBF, was_unbuffered_ ? 0 : BUFSIZ);
    redirected_ = false;
    reader_.join();
  }

 private:
  void Read() {
    ::ConnectNamedPipe(server_.Get(), nullptr);  // already connected
    static char buffer[1 << 16];
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(server_.Get(), buffer, sizeof(buffer), &got, nullptr)) break;
      ++writes_;
      text_.append(buffer, got);
    }
  }

  tn::ScopedHandle server_;
  std::thread reader_;
  int saved_ = -1;
  bool was_unbuffered_ = false;
  bool redirected_ = false;
  int writes_ = 0;
  std::string text_;
};

TEST(ConsoleStatusTest, LinesReachUnbufferedOutputInFewWritesAndInOrder) {
  std::string expected;
  {
    CountedUnbufferedStdout out;
    ASSERT_TRUE(out.redirected());
    {
      ConsoleStatusBuffer status;
      for (int i = 0; i < 2000; ++i) {
        const std::string line = "Extracting  folder\\file" + std::to_string(i) + ".bin";
        status.Append(line);
        status.Append("\n");
        expected += line + "\n";
      }
      // An error goes out after the lines before it.
      status.Flush();
      PrintError("Can not open output file", std::string("C:\\out\\x.bin"));
      expected += "Error: \nCan not open output file\nC:\\out\\x.bin";
      status.Append("Extracting  last.bin");
      expected += "Extracting  last.bin";
      // Destroyed without a flush: the last line still goes out.
    }
    out.Finish();
    EXPECT_EQ(expected, out.text());
    // About 60 KB: a write per 4 KB, not one per line or per character.
    EXPECT_LE(out.writes(), static_cast<int>(expected.size() / 4096) + 3);
  }
}

TEST(ConsoleStatusTest, AnExtractionWritesItsItemLinesInOnePiece) {
  tn_test::ScopedTempDir dir;
  tn::CArchiveManager manager;
  manager.SetLibraryPath(payload_test::ArchiveLibrary());
  CountedUnbufferedStdout out;
  ASSERT_TRUE(out.redirected());
  const tn::ExtractResult result = manager.ExtractArchive(
      payload_test::TestData("tree.7z"), dir.Join("install"), 0, tn::kArchivePassword);
  out.Finish();
  ASSERT_EQ(tn::ExtractResult::kSucceeded, result);
  EXPECT_NE(std::string::npos, out.text().find("Extracting  read me.txt\n")) << out.text();
  // A dozen items, a few hundred characters: written once at the end.
  EXPECT_GT(out.text().size(), 200u);
  EXPECT_LE(out.writes(), 2) << out.text();
}

}  // namespace
