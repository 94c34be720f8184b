// The freedesktop trash, done with POSIX calls. A file on the file system of the home trash
// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash) goes there; a file on another file system
// goes to the trash at the top of its own mount ($topdir/.Trash/$uid when the administrator
// made a sticky $topdir/.Trash, else $topdir/.Trash-$uid). The trash folders are made when
// missing (the data folder with its parents too), each with mode 0700.
//
// A file is only ever renamed into a trash on its own file system; when that cannot be done
// the result is false and the file stays where it was. Nothing is copied, and nothing falls
// back to a permanent delete.
#pragma once

#include <string>

#include "platform/ports.h"

namespace qp {

class FreedesktopTrash final : public TrashPort {
 public:
  // Moves the file (not what a symbolic link points to) into the trash and writes its
  // ".trashinfo" record; false when it could not be trashed.
  bool MoveToTrash(const std::string& path) override;
};

// The home trash folder as the environment names it now ("" when neither XDG_DATA_HOME nor
// HOME is an absolute path).
std::string HomeTrashFolder();

// "Path=" text of a trash record: every byte except unreserved URI characters and "/" as
// %XX.
std::string TrashInfoEscape(const std::string& path);

}  // namespace qp
