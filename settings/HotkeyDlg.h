#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

#include "widgets/core/CommandButton.h"

class CCommandButtonWidget;
class IMessageSink;
class QCheckBox;
class QLabel;
class QLineEdit;

// "请输入热键": asks for the hotkey that runs the automatic sequence. The
// caller fills in the key and modifiers, shows the dialog and reads them
// back after OK; Cancel leaves them as given. Modifiers: bit 0 Shift,
// bit 1 Alt, bit 2 Ctrl.
class CHotkeyDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids of the dialog template.
    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdKey = 1023,
        kIdShift = 1024,
        kIdCtrl = 1025,
        kIdAlt = 1026,
    };
    static constexpr std::uint8_t kModShift = 0x01;
    static constexpr std::uint8_t kModAlt = 0x02;
    static constexpr std::uint8_t kModCtrl = 0x04;

    // messages shows the input check; nullptr: a message box on this dialog.
    explicit CHotkeyDlg(QWidget* parent = nullptr, IMessageSink* messages = nullptr);
    ~CHotkeyDlg() override;

    // The combination to show; the controls follow at once.
    void SetHotkey(std::uint8_t key, std::uint8_t mods);
    std::uint8_t Key() const { return m_byKey; }
    std::uint8_t Mods() const { return m_byMods; }

    // Takes the controls' values; with exactly one key character stores the
    // combination and closes with OK, otherwise asks for a key and stays.
    void OnOK();
    void accept() override { OnOK(); }

    QCheckBox* ShiftBox() const { return m_pShift; }
    QCheckBox* CtrlBox() const { return m_pCtrl; }
    QCheckBox* AltBox() const { return m_pAlt; }
    QLineEdit* KeyEdit() const { return m_pKey; }
    CCommandButtonWidget* OkButton() const { return m_pOk; }
    CCommandButtonWidget* CancelButton() const { return m_pCancel; }

private:
    void CreateControls();
    // Controls to members (save) or members to controls.
    void UpdateData(bool save);
    // Dialog units of the template in pixels, for this dialog's font.
    QRect MapDialogRect(int x, int y, int w, int h) const;
    QSize MapSize() const;
    void PlaceAt(QWidget* widget, int x, int y, int w, int h);
    void OnKeyEdited(const QString& text);

    IMessageSink* m_pMessages = nullptr;

    std::uint8_t m_byMods = 0;
    std::uint8_t m_byKey = 0;
    CCommandButton m_btnOK;
    CCommandButton m_btnCancel;
    int m_bAlt = 0;
    int m_bCtrl = 0;
    int m_bShift = 0;
    QString m_strKey;

    // Controls, owned by the dialog as their parent.
    QCheckBox* m_pShift = nullptr;
    QCheckBox* m_pCtrl = nullptr;
    QCheckBox* m_pAlt = nullptr;
    QLabel* m_pPlus = nullptr;
    QLineEdit* m_pKey = nullptr;
    CCommandButtonWidget* m_pOk = nullptr;
    CCommandButtonWidget* m_pCancel = nullptr;
};
