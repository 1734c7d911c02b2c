// One whole run of the updater under Wine: a fresh program folder, the
// installed version in the registry, the update server's files, the stand-in
// client, and the windows the program shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/publish/uPublish.h"

namespace e2e {

const char* const kTitle = "泽润影音升级程序";
const char* const kInfoPath = "/App/ZeRunUpdate.inf";
const char* const kSetupPath = "/files/ZeRunSetup.exe";

uint32_t Packed(unsigned Major, unsigned Minor);
// The installed version; a negative value removes it.
void SetInstalledVersion(int64_t Packed);
// The document in the system code page, as the server sends it; its notes
// \u-escaped when that is not GBK, unless RawGbk keeps their GBK bytes.
std::string Document(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg,
                     bool RawGbk = false);
// The installer's SHA-256 as the document writes it.
std::string Sha256HexOf(const std::string& Bytes);
// The secret half of the key the test builds with a public key trust.
std::string TestSecretKey();
// The signed document the vendor's tool makes for Setup, made by the tool's
// own code: its UTF-8 text turned into the system code page, as the tool
// turns it into GBK, then signed with the tests' key. Release gives the
// members a test sets beyond these (publication time, rollout, ...).
std::string PublishedDocument(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg,
                              const std::string& Setup, TRelease Release = {});
// The stand-in installer, padded to Size bytes, as the served installer.
std::string InstallerBytes(size_t Size);

// The server log's entries for Path, their number, and the Range header of
// each.
std::vector<std::string> EntriesFor(const std::string& Path);
int CountRequests(const std::string& Path);
std::vector<std::string> RangesOf(const std::string& Path);

// Waits until Cond holds, pumping this thread's messages; false on time-out.
bool WaitUntil(const std::function<bool()>& Cond, DWORD TimeoutMs);
// A port on 127.0.0.1 that nothing listens on (bound once, then released).
int ClosedPort();
// Everything under Dir: relative name -> a file's size and checksum, or
// "<dir>" for a folder (whose name ends with '\').
std::map<std::string, std::string> FolderTree(const std::string& Dir);
// The visible top-level windows of every process.
std::set<HWND> VisibleTopWindows();
// Real key presses, each key pressed and released in turn, while Held (a
// modifier such as VK_MENU) is held down.
void PressKeys(const std::vector<WORD>& Keys, WORD Held = 0);

// What assistive technology (MSAA) finds at a point of a window's client
// area; texts in the system code page.
struct Accessible {
  std::string Name;
  long Role = 0;
  std::string Value;
  RECT Bounds{};  // client coordinates
};
Accessible AccessibleAt(HWND Wnd, int X, int Y);

// While it lives, programs started here see a display of Dpi dots per inch
// (Wine reads LogPixels when a process starts) and, with Managed, get Wine's
// default window handling, windows handed to a window manager, instead of
// the test prefix's Managed "N". The virtual display has no window manager,
// so Wine then waits 2 s on every hide or destroy.
class ProgramDisplay {
 public:
  ProgramDisplay(int Dpi, bool Managed);
  ~ProgramDisplay();
  ProgramDisplay(const ProgramDisplay&) = delete;
  ProgramDisplay& operator=(const ProgramDisplay&) = delete;

 private:
  bool FManaged;
};

// Rows from the first to the last with dark ink (text) in a rectangle of
// the window's 96-dpi layout.
int InkHeight(HWND Wnd, const RECT& Layout);

struct Notice {
  HWND Wnd = nullptr;
  bool IsProgress = false;      // the progress window (list box and bar)
  std::string Memo;             // the release-notes memo's text, when visible
  bool MemoVisible = false;
  std::vector<std::string> Lines;  // the progress window's message list
  int Bar = -1;                    // the progress bar's position
};

class UpdaterRun {
 public:
  // A fresh program folder, user data folder and server state; with
  // FreshState false, the folders of the previous run stay as they are.
  // Build names the program file of the build folder (ZR_PROGRAM_DIR, else
  // this one's) that is installed as "ZeRunUpdate.exe" (another update URL
  // or public key).
  explicit UpdaterRun(bool FreshState = true, const char* Build = "ZeRunUpdate.exe");
  ~UpdaterRun();

  std::string BaseDir;     // holds the program folder and the records
  std::string ProgramDir;  // "...\Program Files\ZeRun\", with the program in it
  std::string Exe;
  std::string DataDir;     // the per-user data folder the program uses

  // Starts the stand-in client window; RecordFile gets its WM_CLOSE lines.
  void StartClient(const std::string& Title = "泽润影音", DWORD SlowMs = 0);
  std::string ClientRecord() const;

  void Start(const std::string& Args = "");
  // Waits for the program to end; its exit code, or -1 on time-out.
  int WaitExit(DWORD TimeoutMs);
  bool Running();
  // What Windows does at log-off before it ends the program (queries, then
  // the end, to each of its top-level windows); false when one refused.
  bool EndSession();

  // The program's visible top-level window, 0 when none within TimeoutMs.
  HWND WaitWindow(DWORD TimeoutMs);
  // The first visible window that is not the checking notice (an orange
  // badge without the memo), or the progress window.
  HWND WaitPastChecking(DWORD TimeoutMs);
  // Serves Document over an installed 1.1, starts a run with Args and waits
  // past the checking notice; null when the document could not be served.
  HWND StartOffering(const std::string& Document, const std::string& Args = "", DWORD TimeoutMs = 20000);
  // Waits until no window of the program is visible.
  bool WaitNoWindow(DWORD TimeoutMs);
  // A visible notice with the given badge (not the progress window).
  HWND WaitNotice(char Badge, DWORD TimeoutMs);
  // The program's window whose icon is in the notification area, 0 when
  // the program shows none there.
  HWND TrayIcon();
  // Opens the tray icon's menu as a right click does and chooses item Index
  // with the keyboard (clicks on Wine's menus get lost); false when no menu
  // came up.
  bool ChooseTrayMenuItem(int Index);
  Notice Inspect(HWND Wnd);
  // Colour family of the badge of a notice: 'o' orange, 'g' green, 'r' red.
  char Badge(HWND Wnd);
  void ClickOK(HWND Wnd);
  // OK of the notices that show it alone, at Cancel's place.
  void ClickMovedOK(HWND Wnd);
  void ClickCancel(HWND Wnd);
  void ClickClose(HWND Wnd);
  void Shot(HWND Wnd, const std::string& Name);

  std::string Installed() const;  // SaveFile of the download
  std::string InstallerRecord() const;
  // Waits for the stand-in installer's record of its start, then a moment
  // more so that the record is whole.
  bool WaitInstallerStarted(DWORD TimeoutMs = 60000) const;
  std::vector<std::string> UrlsOpened() const;
  // The URL handler runs on its own time: waits for a first URL.
  std::vector<std::string> WaitUrlsOpened(DWORD TimeoutMs) const;
  std::string FailureCount() const;  // upd.dat's count, "" when absent

 private:
  zrtest::Process FProgram;
  zrtest::Process FClient;
  std::string FClientRecord;
  std::string FUrlLog;
};

}  // namespace e2e
