#pragma once
// The wizard windows as the main window sees them. The wizard subsystem drives
// frmMain directly (hand-off of a generated page, the open-file dialog), so the
// main window reaches the wizard back through this interface, which the program
// entry installs; the editor library does not link the wizard.

#include <QString>

namespace editor {

class WizardPeer {
public:
    virtual ~WizardPeer() = default;
    virtual void ClearAll() = 0;             // empties every answer and list row
    virtual void showFirstStep() = 0;        // brings pctWizard(0) to the front
    virtual void showWizard(bool modal) = 0; // loads the wizard on first use
    virtual void unloadWizard() = 0;         // when the main window closes
    virtual void showLoadFile() = 0;         // frmLoadFile, modal
    // Where a publish put the page: the wizard's web address of the page, when empty.
    virtual void offerPageAddress(const QString & /*address*/) {}
};

} // namespace editor
