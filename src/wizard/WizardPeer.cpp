#include "wizard/WizardPeer.h"

#include "wizard/frmLoadFile.h"
#include "wizard/frmWizard.h"

#include "editor/frmMain.h"

namespace wizard {

namespace {

class Peer final : public editor::WizardPeer {
public:
    void ClearAll() override { frmWizard::instance().ClearAll(); }
    void showFirstStep() override { frmWizard::instance().showStep(0); }
    void showWizard(bool modal) override { frmWizard::instance().showWindow(modal); }
    // The wizard keeps its answers: a request to unload only hides it.
    void unloadWizard() override
    {
        if (frmWizard *w = frmWizard::existing())
            w->close();
    }
    void showLoadFile() override { frmLoadFile::showModal(editor::frmMain::instance()); }
    void offerPageAddress(const QString &address) override
    {
        if (frmWizard *w = frmWizard::existing())
            w->offerPageAddress(address);
    }
};

} // namespace

editor::WizardPeer &peer()
{
    static Peer thePeer;
    return thePeer;
}

} // namespace wizard
