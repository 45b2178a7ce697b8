// The download folder move: the plan, the file operations and the file-by-file mover.
#include "study/DownloadMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"

namespace {

// How often one file may meet a taken name before the move gives up on it.
constexpr int kMostClashes = 16;
constexpr std::size_t kCopyChunk = 1 << 20;

// An open descriptor, closed when it goes.
struct Fd {
  int fd = -1;
  explicit Fd(int value) : fd(value) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool IsRegularFile(const std::string& path, struct stat* info = nullptr) {
  struct stat local {};
  struct stat* out = info ? info : &local;
  return ::lstat(path.c_str(), out) == 0 && S_ISREG(out->st_mode);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary name a copy is written under; it takes the target name only when complete.
std::string CopyingName(const std::string& target) { return target + ".moving"; }

MoveOutcome OutcomeOf(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return MoveOutcome::NoRoom;
    case EACCES:
    case EPERM:
    case EROFS:
      return MoveOutcome::NotWritable;
    case EEXIST:
      return MoveOutcome::Clash;
    default:
      return MoveOutcome::Failed;
  }
}

// True when both files hold the same bytes (a copy that took its name before a crash).
bool SameContents(const std::string& first, const std::string& second) {
  struct stat a {
  }, b{};
  if (!IsRegularFile(first, &a) || !IsRegularFile(second, &b) || a.st_size != b.st_size) return false;
  Fd one(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
  Fd two(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
  if (one.fd < 0 || two.fd < 0) return false;
  std::vector<char> left(kCopyChunk), right(kCopyChunk);
  for (;;) {
    const ssize_t got = ::read(one.fd, left.data(), left.size());
    if (got < 0) return false;
    if (got == 0) return true;
    ssize_t filled = 0;
    while (filled < got) {
      const ssize_t more = ::read(two.fd, right.data() + filled, static_cast<std::size_t>(got - filled));
      if (more <= 0) return false;
      filled += more;
    }
    if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) != 0) return false;
  }
}

void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
}

// Copies `source` to `target` through a temporary name: written, synced, its size checked,
// then renamed into place without replacing anything. Nothing is left at the target when it
// fails; errno tells why.
bool CopyIntoPlace(const std::string& source, const std::string& target, const CancelToken& cancel) {
  const std::string copying = CopyingName(target);
  struct stat info {};
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.fd < 0 || ::fstat(in.fd, &info) != 0) return false;
  // A temporary copy left by a mover that died is this move's own.
  ::unlink(copying.c_str());
  bool copied = false;
  int error = 0;
  {
    Fd out(::open(copying.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.fd < 0) return false;
    std::vector<char> buffer(kCopyChunk);
    copied = true;
    for (;;) {
      if (cancel.IsCancelled()) {
        copied = false;
        error = ECANCELED;
        break;
      }
      const ssize_t got = ::read(in.fd, buffer.data(), buffer.size());
      if (got == 0) break;
      if (got < 0) {
        if (errno == EINTR) continue;
        copied = false;
        error = errno;
        break;
      }
      ssize_t written = 0;
      while (written < got) {
        const ssize_t put = ::write(out.fd, buffer.data() + written, static_cast<std::size_t>(got - written));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
          error = put < 0 ? errno : ENOSPC;
          break;
        }
        written += put;
      }
      if (written < got) {
        copied = false;
        break;
      }
    }
    struct stat written {};
    if (copied && ::fsync(out.fd) != 0) {
      copied = false;
      error = errno;
    }
    if (copied && (::fstat(out.fd, &written) != 0 || written.st_size != info.st_size)) {
      LogError(L"the copy of " + AnsiToWide(source) + L" does not have the size of the original");
      copied = false;
      error = EIO;
    }
  }
  if (copied && !RenameNoReplace(copying, target)) {
    copied = false;
    error = errno;
  }
  if (!copied) {
    ::unlink(copying.c_str());
    errno = error;
    return false;
  }
  SyncFolder(FolderOf(target));
  return true;
}

}  // namespace

std::vector<PendingMove> PlanMoves(const std::vector<DownloadTask>& tasks, const std::string& oldFolder,
                                   const std::string& newFolder) {
  std::vector<PendingMove> moves;
  if (oldFolder.empty() || newFolder.empty() || oldFolder == newFolder) return moves;
  std::set<std::string> reserved;
  auto taken = [&reserved](const std::string& path) {
    return reserved.count(path) > 0 || Exists(path) || Exists(PartFileOf(path)) ||
           Exists(CopyingName(path)) || Exists(CopyingName(PartFileOf(path)));
  };
  for (const DownloadTask& task : tasks) {
    if (task.localFile.empty() || FolderOf(task.localFile) != oldFolder) continue;
    PendingMove move;
    move.kind = task.kind;
    move.classId = task.classId;
    move.id = task.id;
    if (IsRegularFile(task.localFile)) {
      move.source = task.localFile;
    } else if (!task.partFile.empty() && FolderOf(task.partFile) == oldFolder &&
               IsRegularFile(task.partFile)) {
      move.source = task.partFile;
      move.partial = true;
    } else {
      continue;  // nothing of the task is on disk
    }
    move.newLocal = FreeFileName(newFolder + NameOf(task.localFile), taken);
    if (move.newLocal.empty()) {
      LogError(L"no free name in the new folder for " + AnsiToWide(task.localFile));
      continue;
    }
    reserved.insert(move.newLocal);
    move.target = move.partial ? PartFileOf(move.newLocal) : move.newLocal;
    moves.push_back(std::move(move));
  }
  return moves;
}

MoveOutcome MoveTaskFile(const PendingMove& move, MoveMode mode, const CancelToken& cancel) {
  if (move.pointed) return MoveOutcome::Moved;
  const bool sourceThere = IsRegularFile(move.source);
  const bool targetThere = Exists(move.target);
  if (!sourceThere) {
    // Renamed (or copied and its old file deleted) before the mover stopped.
    if (targetThere) return MoveOutcome::Moved;
    return MoveOutcome::SourceGone;
  }
  if (targetThere) return SameContents(move.source, move.target) ? MoveOutcome::Moved : MoveOutcome::Clash;
  if (mode == MoveMode::Auto) {
    if (RenameNoReplace(move.source, move.target)) {
      SyncFolder(FolderOf(move.target));
      return MoveOutcome::Moved;
    }
    if (errno != EXDEV) {
      const int error = errno;
      LogError(L"cannot move " + AnsiToWide(move.source) + L": " + AnsiToWide(std::strerror(error)));
      return OutcomeOf(error);
    }
  }
  if (CopyIntoPlace(move.source, move.target, cancel)) return MoveOutcome::Moved;
  const int error = errno;
  LogError(L"cannot copy " + AnsiToWide(move.source) + L" to " + AnsiToWide(move.target) + L": " +
           AnsiToWide(std::strerror(error)));
  return OutcomeOf(error);
}

void RemoveMovedSource(const PendingMove& move) {
  if (move.source == move.target || !IsRegularFile(move.target) || !IsRegularFile(move.source)) return;
  if (::unlink(move.source.c_str()) != 0)
    LogError(L"cannot delete the moved file " + AnsiToWide(move.source) + L": " +
             AnsiToWide(std::strerror(errno)));
}

std::wstring MoveStopTip(MoveOutcome outcome) {
  switch (outcome) {
    case MoveOutcome::Moved:
    case MoveOutcome::SourceGone:
      return {};
    case MoveOutcome::NoRoom:
      return L"新目录空间不足，已停止移动，未移动的文件仍在原目录";
    case MoveOutcome::NotWritable:
      return L"新目录无法写入，已停止移动，未移动的文件仍在原目录";
    case MoveOutcome::Clash:
    case MoveOutcome::Failed:
      break;
  }
  return L"移动文件失败，未移动的文件仍在原目录";
}

void DownloadMover::Run() {
  if (m_running) return;
  m_running = true;
  m_report = {};
  m_moves = m_db.PendingMoves();
  m_index = 0;
  m_clashes = 0;
  Next();
}

bool DownloadMover::Stop(const PendingMove& move, Phase phase) {
  if (!m_stopHook || !m_stopHook(move, phase)) return false;
  Finish(MoveOutcome::Moved, true);
  return true;
}

void DownloadMover::Next() {
  if (m_index >= m_moves.size()) {
    Finish(MoveOutcome::Moved);
    return;
  }
  const PendingMove move = m_moves[m_index];
  if (Stop(move, Phase::BeforeMove)) return;
  if (onFileStarted) onFileStarted(move);
  if (move.pointed) {
    Moved(move);
    return;
  }
  // The names the other moves hold, for a new name after a clash.
  std::set<std::string> reserved;
  for (const PendingMove& other : m_moves) reserved.insert(other.newLocal);
  struct Step {
    MoveOutcome outcome;
    PendingMove move;
  };
  m_step = BackgroundTask::Run(
      [move, mode = m_mode, reserved = std::move(reserved)](const CancelToken& cancel) {
        Step step{MoveTaskFile(move, mode, cancel), move};
        if (step.outcome == MoveOutcome::Clash) {
          step.move.newLocal = FreeFileName(step.move.newLocal, [&reserved](const std::string& path) {
            return reserved.count(path) > 0 || Exists(path) || Exists(PartFileOf(path)) ||
                   Exists(CopyingName(path)) || Exists(CopyingName(PartFileOf(path)));
          });
          step.move.target = step.move.partial ? PartFileOf(step.move.newLocal) : step.move.newLocal;
        }
        return step;
      },
      [this](Step step) {
        switch (step.outcome) {
          case MoveOutcome::Moved:
            if (Stop(step.move, Phase::FileInPlace)) return;
            Moved(step.move);
            return;
          case MoveOutcome::Clash:
            if (step.move.newLocal.empty() || ++m_clashes > kMostClashes ||
                !m_db.RetargetPendingMove(step.move)) {
              Finish(MoveOutcome::Clash);
              return;
            }
            LogNormal(L"a file took the name; moving to " + AnsiToWide(step.move.target) + L" instead");
            m_moves[m_index] = step.move;
            Next();
            return;
          case MoveOutcome::SourceGone:
            LogError(L"the file to move is gone: " + AnsiToWide(step.move.source));
            m_db.DropPendingMove(step.move.seq);
            ++m_index;
            Next();
            return;
          default:
            Finish(step.outcome);
            return;
        }
      });
}

void DownloadMover::Moved(const PendingMove& move) {
  if (!move.pointed) {
    if (!m_db.PointTaskAt(move)) {
      // The old file is still there when it was copied; a renamed one goes back.
      std::string back = move.source;
      if (!Exists(move.source) && !MoveIntoPlace(move.target, back))
        LogError(L"the moved file stays at " + AnsiToWide(move.target));
      Finish(MoveOutcome::Failed);
      return;
    }
    if (auto entry = m_list.FindTask(move.classId, move.id, move.kind)) {
      entry->localFile = move.newLocal;
      if (!entry->partFile.empty() || move.partial) entry->partFile = PartFileOf(move.newLocal);
      m_list.UpdateTask(*entry, move.kind);
    }
    if (onFileMoved) onFileMoved(move);
  }
  PendingMove pointed = move;
  pointed.pointed = true;
  m_moves[m_index] = pointed;
  if (Stop(pointed, Phase::TaskPointed)) return;
  m_step = BackgroundTask::Run([pointed](const CancelToken&) { RemoveMovedSource(pointed); },
                               [this, seq = pointed.seq]() {
                                 m_db.DropPendingMove(seq);
                                 ++m_report.moved;
                                 ++m_index;
                                 m_clashes = 0;
                                 Next();
                               });
}

void DownloadMover::Finish(MoveOutcome outcome, bool interrupted) {
  if (!interrupted && outcome != MoveOutcome::Moved) {
    // The files not moved stay where they are, and so do their tasks: the plan ends.
    for (std::size_t i = m_index; i < m_moves.size(); ++i) m_db.DropPendingMove(m_moves[i].seq);
  }
  m_report.outcome = outcome;
  m_report.interrupted = interrupted;
  m_running = false;
  if (onFinished) onFinished(m_report);
}
