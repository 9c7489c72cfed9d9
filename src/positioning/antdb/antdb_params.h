// The antenna database under /par/antdb/ (print only; a set answers "read only"):
//   id&count, ids/id&count      entries held            cmr&count, ids/cmr&count  CMR numbers held
//   ver                         version of the table
//   id/<name>[/cmr|/l1_arp[/e|n|u]|/l2_l1[/e|n|u]]   an entry by name: its first CMR number, the
//                               L1 offset and the L2 offset relative to L1 (m); id alone: every entry
//   cmr/<number>[/id|/l1_arp..|/l2_l1..]             an entry by CMR number; cmr alone: every number
//   ids/id/<name>, ids/cmr/<number>                  the pair {name,number}; alone: every one
#pragma once

class Reply;
class ZRNamedNode;

// Print handler of the subtree (path below "antdb"); a command result code.
int antdbcPrint(const char* path, Reply& re);
int antdbcSet(const char* path, const ZRNamedNode* value);

// Adds the "antdb" area to the parameter tree (left out of the print of the whole tree); false
// when it cannot.
bool registerAntDbArea();
