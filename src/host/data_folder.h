// Where the desktop program keeps its files: the data folder that /mnt/us maps onto and the
// per-run folder that /tmp maps onto.
#pragma once
#include <string>

// The product's folder name inside the user's data folder.
constexpr char kDataFolderName[] = "Corvell Nalo";

// $CVNL_DATA when set and not empty; else kDataFolderName inside $XDG_DATA_HOME (when it is an
// absolute path), else inside ~/.local/share. The folder is not created here.
std::string host_data_folder();

// Creates a private folder (mode 0700) for this run under $TMPDIR, else /tmp. "" when that fails.
std::string host_make_tmp_root();
