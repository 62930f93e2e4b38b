#pragma once
// The wizard as the main window reaches it: the program entry installs this peer
// with frmMain::setWizardPeer(&wizard::peer()).

#include "editor/MainWindowPeers.h"

namespace wizard {

// The single peer; the wizard window itself is created on first use.
editor::WizardPeer &peer();

} // namespace wizard
