// What a batch does with the files of its targets, in the window and in
// pixvane-get alike: whether an address may write a target that is already
// there, and the sweep at the end of a download that ended whole.
//
// A finished file carries the address it came from (its origin, recorded by
// the worker once the file is whole); a file with its resume sidecar beside
// it is a partial download, which the worker continues only for the address
// that its sidecar names, and otherwise fetches whole.
#pragma once

#include <string>

namespace targetfiles {

// Whether the download of origin may write the file at target: nothing is
// there, a partial download is there (its sidecar beside it), or a finished
// file of that very origin. A file of another origin, or of none known, is
// never overwritten: its address takes another name.
bool MayWrite(const std::string& target, const std::string& origin);

// A download into target ended whole. True when its file is there; its
// resume sidecar is then gone, whether or not the address is still listed.
// A failed download is not swept: its partial file and sidecar stay for a
// later run.
bool SweepWhole(const std::string& target);

}  // namespace targetfiles
