// Hooks of the command layer: the areas and verbs of other layers, what follows a set, init.
#include "command/cmd_hooks.h"
#include "command/result_codes.h"
#include "command/settings_commands.h"
#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "gnss_link/board_link.h"
#include "gnss_link/lock_manager_keys.h"
#include "gnss_link/placeholders.h"
#include "main/hooks.h"
#include "output/om_verbs.h"

void wireCommand() {
  // /par/ areas of the layers above: the lock manager's, then the stand-ins of the areas the
  // GNSS board shares that no layer serves yet
  cmdAreaRegistrars.add([] { registerLockArea(); });
  cmdAreaRegistrars.add(m2sBoardAreaStandInsInitOnce);

  // verbs and print trees of other layers
  static_assert(int{kOmVerbWrong1st} == int{CMD_WRONG_1ST} && int{kOmVerb2ndMissed} == int{CMD_2ND_MISSED} &&
                int{kOmVerbWrong2nd} == int{CMD_WRONG_2ND} &&
                int{kOmVerbReplyTooLong} == int{CMD_REPLY_TOO_LONG});
  cmdRegisterVerb("em", omVerbEm);
  cmdRegisterVerb("dm", omVerbDm);
  cmdRegisterPrintTree("/msg", omPrintMsgTree);

  // sets the GNSS board shares are forwarded to it; init,/par/ resets its settings
  cmdBoardSharesHook = m2sIsBoardShared;
  cmdToSlaveHook = cmdToSlaveSend;
  cmdM2sDefaultsHook = m2sDefaults;

  // decoder status of a port whose input mode changed
  cmdDecModeHook = [](int decPort, int mode) { DecSt.setDecMode(decPort, decStatusMode(mode)); };
}
