#pragma once

#include <QLineEdit>

// A one-line edit with the property names the settings store uses ("Text").
class TEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    explicit TEdit(QWidget* Parent = nullptr);

    QString Text() const { return text(); }
    void SetText(const QString& Value) { setText(Value); }

signals:
    // The text changed, typed or set.
    void Change(QObject* Sender);
};
