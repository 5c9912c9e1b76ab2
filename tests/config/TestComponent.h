#pragma once

#include "config/Currency.h"

#include <QObject>
#include <QStringList>
#include <QVariant>

// A part that its holder keeps as a plain sub-object.
class TTestPart : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Width MEMBER Width)
    Q_PROPERTY(QStringList Tags MEMBER Tags)

public:
    using QObject::QObject;
    int Width = 7;
    QStringList Tags{"x"};
};

// One property of each kind the settings store files.
class TTestComponent : public QObject {
    Q_OBJECT

public:
    enum TShade { Red, Green, Blue };
    Q_ENUM(TShade)
    enum TStyle { Bold = 1, Italic = 2, Under = 4, BoldItalic = 3 };
    Q_DECLARE_FLAGS(TStyles, TStyle)
    Q_FLAG(TStyles)

private:
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(TShade Shade MEMBER Shade)
    Q_PROPERTY(TStyles Styles READ GetStyles WRITE SetStyles)
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(qint64 Big MEMBER Big)
    Q_PROPERTY(ushort Small MEMBER Small)
    Q_PROPERTY(QChar Letter MEMBER Letter)
    Q_PROPERTY(char Byte MEMBER Byte)
    Q_PROPERTY(float Single MEMBER Single)
    Q_PROPERTY(double Double MEMBER Double)
    Q_PROPERTY(long double Extended MEMBER Extended)
    Q_PROPERTY(TCurrency Money MEMBER Money)
    Q_PROPERTY(QString Text MEMBER Text)
    Q_PROPERTY(QVariant Any MEMBER Any)
    Q_PROPERTY(QStringList Lines MEMBER Lines)
    Q_PROPERTY(TTestPart* Part MEMBER Part)
    Q_PROPERTY(QObject* Other MEMBER Other)

public:
    explicit TTestComponent(QObject* Parent = nullptr) : QObject(Parent) { setObjectName("obj"); }

    TStyles GetStyles() const { return Styles; }
    void SetStyles(TStyles Value) { Styles = Value; }

    bool Flag = true;
    TShade Shade = Blue;
    TStyles Styles = TStyles(Bold | Under);
    int Count = -1;
    qint64 Big = -9223372036854775807LL - 1;
    ushort Small = 65535;
    QChar Letter = u'x';
    char Byte = 'q';
    float Single = 0.1f;
    double Double = 1.0 / 3;
    long double Extended = 1.0L / 3;
    TCurrency Money{12345678};
    QString Text = "  hello  ";
    QVariant Any = 42;
    QStringList Lines{"a", "b"};
    TTestPart* Part = new TTestPart(this);
    QObject* Other = parent();
};
