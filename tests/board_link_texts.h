// The texts the GNSS board expects from the program, written out here again, apart from the
// program's own copy of them, for the unit and end-to-end tests of the board link.
#pragma once

#include <string>

namespace boardlink {

inline const std::string kConnect = "\n%CON%\n";
inline const std::string kIssueQuery = "print,cmd/set/issue\n";
inline const std::string kIssueOne = "set,cmd/set/issue,1\n";
// A board given the record is reset first.
inline const std::string kBoardReset = "init,/par/\n";
// The issue the board is left once the check has accepted or replayed the record.
inline std::string issueSet(unsigned issue) { return "set,cmd/set/issue," + std::to_string(issue) + "\n"; }
inline const std::string kSourceBlock =
    "set,pos/navdata/source,any\n"
    "set,pos/almdata/source,any\n"
    "set,cur/term/zrt/0,{nscmd,33,y,/cur/term}\n"
    "set,cur/term/imode,zrt\n"
    "\n\n";
inline const std::string kSync = "!%SYN%\n";
inline const std::string kModeReturn = "\n!\n!set,cur/term/imode,cmd\n";
inline const std::string kCmdMode = "\n%CMD%\n";
inline const std::string kSources = "set,pos/navdata/source,sat\nset,pos/almdata/source,sat\n";
inline const std::string kInitialBlock =
    "\n\n"
    "dm\n"
    "set,/par/out/elm/cur/term,-90\n"
    "em,,zrt/{RT,@@ts}:0\n"
    "em,,zrt/{@@c1,@@c2}:0\n"
    "em,,zrt/{gd,lD,ED,WD,qd,cd,id,xd,Rb}:0\n"
    "em,,zrt/{@@sa,@@sr,@@sp,@@sd,@@yz,@@ev,@@pa:1,@@ld:1}:0\n"
    "em,,zrt/@@trst:1\n"
    "em,,zrt/DL:0\n"
    "em,,zrt/Sp:0\n"
    "em,,zrt/sj:0\n"
    "em,,zrt/IQ:0\n"
    "em,,zrt/{gC,g1,g3,g2,gR}:0\n"
    "em,,zrt/@@once:1\n"
    "em,,zrt/{ET}:0\n";
inline const std::string kEndOfStartUp = "%$EOSA$%\n";
// The board's profiler reset, just after the end of start-up.
inline const std::string kProfilerReset = "set,load,0\n";
inline const std::string kFileHead = "#@SSv0: Automatically generated SLAVE settings file: do not edit!\n";

}  // namespace boardlink
