// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/exception.h"
#include "platform/messages.h"
#include "platform/services.h"

namespace pagemint {

namespace {

// A name for the temporary file beside target that no file has yet.
std::unique_ptr<TFileStream> CreateTemporaryBeside(const std::filesystem::path& target,
                                                   std::string& temporary_name) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::unique_ptr<RandomSource> random = MakeSystemRandom();
  static constexpr char kHex[] = "0123456789abcdef";
  for (int attempt = 0;; ++attempt) {
    std::string suffix;
    for (const char byte : random->Bytes(6)) {
      suffix.push_back(kHex[static_cast<uint8_t>(byte) >> 4]);
      suffix.push_back(kHex[static_cast<uint8_t>(byte) & 15]);
    }
    std::string name = ".";
    name.append(target.filename().string());
    name.push_back('.');
    name.append(suffix);
    name.append(".tmp");
    temporary_name = (folder / name).string();
    try {
      return std::make_unique<TFileStream>(temporary_name, TFileMode::fmCreateNew);
    } catch (const EFileError&) {
      std::error_code error;
      if (!std::filesystem::exists(temporary_name, error) || attempt >= 16) throw;
    }
  }
}

// The file a name stands for: a symbolic link is followed.
std::filesystem::path ResolveTarget(const std::string& name) {
  std::error_code error;
  std::filesystem::path path(name);
  if (std::filesystem::is_symlink(path, error)) {
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (!error) return resolved;
  }
  return path;
}

// The message of a failure on the temporary file, naming the file the
// user asked for instead.
std::string RenameInMessage(std::string message, const std::string& from, const std::string& to) {
  for (size_t at = message.find(from); at != std::string::npos;
       at = message.find(from, at + to.size()))
    message.replace(at, from.size(), to);
  return message;
}

}  // namespace

void ReplaceFile(const std::string& target_name, const std::function<void(TStream&)>& write) {
  const std::filesystem::path target = ResolveTarget(target_name);
  std::string temporary_name;
  try {
    std::unique_ptr<TFileStream> file = CreateTemporaryBeside(target, temporary_name);
    write(*file);
    file->Close();
    // An existing file keeps its permissions; a new one gets the usual
    // ones for a new file (the temporary file was created as such).
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0)
      ::chmod(temporary_name.c_str(), existing.st_mode & 07777);
    if (::rename(temporary_name.c_str(), target.c_str()) != 0)
      throw EFileError(Format(msg::kCannotCreateFile, target_name.c_str(), std::strerror(errno)));
  } catch (const Exception& error) {
    if (!temporary_name.empty()) ::unlink(temporary_name.c_str());
    if (const auto* file_error = dynamic_cast<const EFileError*>(&error))
      throw EFileError(RenameInMessage(file_error->Message(), temporary_name, target_name));
    throw;
  } catch (...) {
    if (!temporary_name.empty()) ::unlink(temporary_name.c_str());
    throw;
  }
}

}  // namespace pagemint
