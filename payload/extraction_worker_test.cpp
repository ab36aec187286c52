#include "payload/extraction_worker.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/ini_info_manager.h"
#include "payload/archive_manager.h"
#include "payload/install_messages.h"
#include "payload/payload_locator.h"
#include "payload/payload_test_support.h"
#include "tests/support/test_support.h"

namespace {

using payload_test::TestData;
using payload_test::Wide;

// A hidden window that records the worker's posts, like the installing page.
class MessageSink {
 public:
  MessageSink() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = &MessageSink::Procedure;
    window_class.hInstance = ::GetModuleHandleA(nullptr);
    window_class.lpszClassName = "PayloadTestSink";
    ::RegisterClassA(&window_class);
    window_ = ::CreateWindowExA(0, "PayloadTestSink", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                window_class.hInstance, this);
  }
  ~MessageSink() { ::DestroyWindow(window_); }

  HWND window() const { return window_; }

  // Pumps messages until the worker has ended and its posts are in, or
  // |timeout_ms| has passed.
  bool RunUntilWorkerEnds(DWORD timeout_ms) {
    const DWORD start = ::GetTickCount();
    bool ended = false;
    while (::GetTickCount() - start < timeout_ms) {
      MSG message;
      while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
      if (ended) return true;
      // One more pass after the end collects what was posted last.
      ended = tn::CArchiveManager::GetInstance()->WaitForWorker(20);
    }
    return false;
  }

  std::vector<int> progress;
  std::vector<tn::ExtractResult> failures;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      ::SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* sink = reinterpret_cast<MessageSink*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (sink && message == WM_INSTALL_PROGRESS) {
      EXPECT_EQ(0, lparam);
      sink->progress.push_back(static_cast<int>(wparam));
      return 0;
    }
    if (sink && message == WM_EXTRACT_FAILED) {
      sink->failures.push_back(ExtractResultOfParameter(wparam));
      return 0;
    }
    return ::DefWindowProcA(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
};

class ExtractionWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packed_ = TestData("packed_installer.exe");
    if (::GetFileAttributesA(packed_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "tnpack was not built before the cross tree";
    }
    CIniInfoManager::GetInstance()->ClearAll();
    CIniInfoManager::GetInstance()->AddIniData("TARNIS_INFO", "flag", "wrong section");
    CIniInfoManager::GetInstance()->AddIniData("OFFSET_FLAG", "flag", "TN7zOffset");
    work_dir_ = dir_.Join("tnextract");
    ASSERT_TRUE(::CreateDirectoryA(work_dir_.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA(payload_test::ArchiveLibrary().c_str(),
                            (work_dir_ + "\\7zTmp.dll").c_str(), FALSE));
    install_dir_ = dir_.Join("Program Files\\ZEVodirodaz");
  }
  void TearDown() override {
    tn::CArchiveManager::GetInstance()->SetExpectedLibrary(nullptr, 0);
    CIniInfoManager::GetInstance()->ClearAll();
  }

  tn_test::ScopedTempDir dir_;
  std::string packed_;
  std::string work_dir_;
  std::string install_dir_;
};

TEST_F(ExtractionWorkerTest, FindsThePayloadBehindTheStub) {
  const int64_t offset = tn::FindPayloadOffsetInFile(packed_, "TN7zOffset");
  const std::string bytes = tn_test::ReadFileBytes(packed_);
  const int64_t stub_size =
      static_cast<int64_t>(tn_test::ReadFileBytes(tn_test::BuildPath("tn_idle.exe")).size());
  EXPECT_EQ(stub_size + 100, offset);
  EXPECT_EQ(0, tn::FindPayloadOffsetInFile(packed_, "TN7zOffsetX"));
  EXPECT_EQ(0, tn::FindPayloadOffsetInFile(packed_, ""));
  EXPECT_EQ(0, tn::FindPayloadOffsetInFile(dir_.Join("missing.exe"), "TN7zOffset"));
  EXPECT_EQ("TN7zOffset", tn::ReadPayloadMarker());
}

TEST_F(ExtractionWorkerTest, PackedProgramStillStarts) {
  // What tnpack appends lies outside the image: the loader must not mind.
  tn::ScopedHandle process = tn_test::StartProcess("\"" + packed_ + "\"");
  ASSERT_TRUE(process.IsValid());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(process.Get(), 500));
  ::TerminateProcess(process.Get(), 0);
  ::WaitForSingleObject(process.Get(), 5000);
}

TEST_F(ExtractionWorkerTest, ReportsEveryPercentOnceAndCompletes) {
  MessageSink sink;
  ASSERT_NE(nullptr, sink.window());
  const std::string library = tn_test::ReadFileBytes(payload_test::ArchiveLibrary());
  tn::CArchiveManager::GetInstance()->SetExpectedLibrary(library.data(), library.size());
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, packed_));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(60000));

  EXPECT_TRUE(sink.failures.empty());
  ASSERT_FALSE(sink.progress.empty());
  // Rising without repeats, and one 100 at the very end.
  EXPECT_EQ(100, sink.progress.back());
  for (size_t i = 1; i < sink.progress.size(); ++i) {
    EXPECT_LT(sink.progress[i - 1], sink.progress[i]) << "at " << i;
  }
  // The 3 MiB incompressible file spreads the run over several steps.
  EXPECT_GT(sink.progress.size(), 5u);
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\ZEVodirodaz.exe")),
            tn_test::ReadFileBytes(install_dir_ + "\\ZEVodirodaz.exe"));
}

TEST_F(ExtractionWorkerTest, ExtractsFromThePackedInstallerStub) {
  // Packed by tnpack with the marker read from the stub's own configuration.
  const std::string packed = TestData("packed_tnsetup.exe");
  const int64_t stub_size =
      static_cast<int64_t>(tn_test::ReadFileBytes(tn_test::BuildPath("tnsetup.exe")).size());
  ASSERT_EQ(stub_size + 100, tn::FindPayloadOffsetInFile(packed, tn::ReadPayloadMarker()));
  MessageSink sink;
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, packed));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(60000));
  EXPECT_TRUE(sink.failures.empty());
  ASSERT_FALSE(sink.progress.empty());
  EXPECT_EQ(100, sink.progress.back());
  EXPECT_EQ(tn_test::ReadFileBytes(TestData("tree\\bin\\deep\\er\\nested file.dat")),
            tn_test::ReadFileBytes(install_dir_ + "\\bin\\deep\\er\\nested file.dat"));
}

TEST_F(ExtractionWorkerTest, FailurePostsItsCode) {
  MessageSink sink;
  ASSERT_TRUE(::DeleteFileA((work_dir_ + "\\7zTmp.dll").c_str()));
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, packed_));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(30000));
  EXPECT_EQ((std::vector<tn::ExtractResult>{tn::ExtractResult::kLoadLibraryFailed}), sink.failures);
  EXPECT_TRUE(sink.progress.empty());
}

TEST_F(ExtractionWorkerTest, DamagedPayloadPostsFailureInsteadOf100) {
  // The packed test installer with bytes of its packed data inverted by
  // tests/harness/damage_payload.py: the headers still open.
  const std::string damaged = TestData("packed_installer_damaged.exe");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(damaged.c_str()));
  MessageSink sink;
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, damaged));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(60000));
  EXPECT_EQ((std::vector<tn::ExtractResult>{tn::ExtractResult::kFailed}), sink.failures);
  for (int percent : sink.progress) EXPECT_LT(percent, 100);
  EXPECT_GT(tn::CArchiveManager::GetInstance()->last_item_errors(), 0u);
}

TEST_F(ExtractionWorkerTest, ArchiveWithoutDataCompletesOnce) {
  // Its counts never produce a percentage; success still brings one 100.
  MessageSink sink;
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, TestData("no_data.7z")));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(30000));
  EXPECT_TRUE(sink.failures.empty());
  EXPECT_EQ((std::vector<int>{100}), sink.progress);
}

TEST_F(ExtractionWorkerTest, WithoutMarkerTheArchiveIsNotReached) {
  // The stub is small, so from offset 0 the archive lies within 8 MiB and is
  // still found; a wrong marker only costs the shortcut.
  CIniInfoManager::GetInstance()->ClearAll();
  MessageSink sink;
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, packed_));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(60000));
  EXPECT_TRUE(sink.failures.empty());
  ASSERT_FALSE(sink.progress.empty());
  EXPECT_EQ(100, sink.progress.back());
}

TEST_F(ExtractionWorkerTest, StopEndsTheWorkerWithoutAFailureMessage) {
  MessageSink sink;
  ASSERT_TRUE(StartExtraction(sink.window(), work_dir_, install_dir_, packed_));
  tn::CArchiveManager::GetInstance()->RequestStop();
  EXPECT_TRUE(tn::CArchiveManager::GetInstance()->WaitForWorker(30000));
  ASSERT_TRUE(sink.RunUntilWorkerEnds(5000));
  EXPECT_TRUE(sink.failures.empty());
  EXPECT_TRUE(sink.progress.empty() || sink.progress.back() < 100);
}

}  // namespace
