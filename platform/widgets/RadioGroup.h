#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QVBoxLayout;

// A captioned group of radio buttons, one per item; ItemIndex is the selected item or -1.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)

public:
    explicit TRadioGroup(QWidget* Parent = nullptr);

    QStringList Items() const { return FItems; }
    // Rebuilds the buttons; a selection beyond the new items moves to the last one.
    void SetItems(const QStringList& Value);
    int ItemIndex() const { return FItemIndex; }
    // Kept within -1 and the last item, as a list control clamps its selection.
    void SetItemIndex(int Value);

signals:
    // An item became selected, by the user or by the program.
    void Click(QObject* Sender);

private:
    void ShowSelection();
    void ButtonToggled(int Id, bool Checked);

    QButtonGroup* FButtons;
    QVBoxLayout* FLayout;
    QStringList FItems;
    int FItemIndex = -1;
};
