#include "tests/gui/WindowTestRig.h"

#include <QListWidget>
#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "platform/AppGlobals.h"

void CWindowTestRig::SetUp()
{
    const char* bin = std::getenv("TAMBERLINK_BIN_DIR");
    ASSERT_NE(bin, nullptr) << "run through ctest: TAMBERLINK_BIN_DIR names the program folder";
    std::filesystem::copy_file(std::filesystem::path(bin) / "ChipList.chip",
                               m_dir.File("ChipList.chip"));
    SetAppDir(m_dir.Path().string());
    ::setenv("XDG_CONFIG_HOME", (m_dir.Path() / "config").c_str(), 1);
}

void CWindowTestRig::TearDown()
{
    ::unsetenv("XDG_CONFIG_HOME");
}

std::unique_ptr<CProgrammerDlg> CWindowTestRig::Show(int programmer)
{
    CProgrammerDlg::Options options;
    options.simulate = true;
    options.pacedSimulation = false;
    if (programmer != 0)
        options.programmer = programmer;
    auto dlg = std::make_unique<CProgrammerDlg>(options, &m_messages);
    dlg->show();
    return dlg;
}

bool CWindowTestRig::WaitForStartUp(CProgrammerDlg& dlg, int programmer)
{
    // The cable has no ready check to count; its port says when it is set up.
    return QTest::qWaitFor(
        [&] {
            return programmer == 0 ? dlg.Session().SequenceEndCount() > 0
                                   : Log(dlg).contains(QStringLiteral("初始化并口完成."));
        },
        kHangGuardMs);
}

std::unique_ptr<CProgrammerDlg> CWindowTestRig::Open(int programmer)
{
    auto dlg = Show(programmer);
    EXPECT_TRUE(WaitForStartUp(*dlg, programmer));
    return dlg;
}

bool CWindowTestRig::WaitForSequenceEnd(CProgrammerSession& session, int endsBefore)
{
    return QTest::qWaitFor(
        [&] { return session.SequenceEndCount() > endsBefore && !session.IsStepOutstanding(); },
        kHangGuardMs);
}

QStringList CWindowTestRig::Log(const CProgrammerDlg& dlg)
{
    QStringList lines;
    for (int i = 0; i < dlg.LogList()->count(); ++i)
        lines << dlg.LogList()->item(i)->text();
    return lines;
}
