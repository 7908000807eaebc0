// Where the desktop program keeps its files: the data folder that /mnt/us maps onto and the
// per-run folder that /tmp maps onto.
#pragma once
#include <string>

// The product's folder name inside the user's data folder.
constexpr char kDataFolderName[] = "Corvell Nalo";

// $CVNL_DATA when set and not empty; else kDataFolderName inside $XDG_DATA_HOME (when it is an
// absolute path), else inside ~/.local/share. The folder is not created here.
std::string host_data_folder();

// Creates the folders every start needs inside the data folder (with the data folder itself and
// any missing parents): "documents", "ql/state", "ql/trash" and "ql/bundled". 0, or the errno of
// the first that could not be made; the writers that later find a folder missing fail on their own.
int host_make_data_folders(const std::string& data);

// One interactive program to a data folder: each keeps its own notes and library in memory, so a
// second one would write over what the first saves. The claim is an exclusive lock on the data
// folder itself, whatever name leads to it (a symbolic link too), taken before anything is made in
// it: folders inside it may be moved away and made again while a program runs (a card pulled and
// put back). It is kept for the life of the process and let go of however it ends; tool modes take
// none and run beside. The data folder is made first when missing.
enum class DataFolderClaim {
  Ours,
  TakenByAnother,  // a living interactive program holds the folder, by whatever name
  Unlocked,        // the lock could not be taken (errno says why): the program runs unguarded
};
DataFolderClaim host_claim_data_folder(const std::string& data);

// What a start says when nothing can be saved in the data folder (its state folder cannot be
// written), with the system's reason: `make_error` is what host_make_data_folders returned. ""
// when it can be written.
std::string host_data_folder_problem(const std::string& data, int make_error);
// Keeps that text for the program to show once its screen is up (plat_start_notice).
void host_keep_start_notice(std::string text);

// Where the per-run folders are made: $TMPDIR, else /tmp.
std::string host_tmp_base();
// The start of a per-run folder's name.
constexpr char kTmpRootPrefix[] = "corvell-nalo-";
// Creates a private folder (mode 0700) for this run in host_tmp_base(). "" when that fails. The
// folder is locked for as long as the process lives, so another program's start knows it is in use
// (host_remove_stale_tmp_roots).
std::string host_make_tmp_root();
// Removes the run's folder and everything in it when the process ends through exit (or a return
// from main). One folder per process: a later call replaces the earlier.
void host_remove_at_exit(const std::string& tmp_root);
// Removes that folder now (a forced end, which runs no exit handlers).
void host_remove_tmp_root();
