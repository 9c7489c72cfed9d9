// The /par/mcu/ area of the parameter tree: the power controller's keys.
//
//   mcu/pwr/cmd        set only: a code word 0..2147483647, executed as one command to the
//                      controller (see mcuPwr_SetCmd); "not available" when the controller does
//                      not take it or, for a word that expects an answer, does not answer
//   mcu/pwr/ver/main   print only: the controller's firmware version in hexadecimal; "not
//                      available" while the controller never told it
//
// The area is left out of the print of the whole tree: printing it talks to the controller.
#pragma once

class ZRNamedNode;
class Reply;

int mcucSet(const char* path, const ZRNamedNode* value);
int mcucPrint(const char* path, Reply& re);
bool registerMcuArea();
