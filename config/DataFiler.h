#pragma once

#include "config/AbstractStore.h"

#include <QMetaProperty>
#include <QObject>
#include <QString>

// Converts property values to text and back by the property's type, for one restore or one
// save of one section. Keys are "<component>.<Property>"; a sub-object's properties extend
// its key directly ("ckAqua.FontName"); a string list gets a section of its own.
class TDataFiler {
public:
    // A string list longer than this in the file is taken as damage and left alone.
    static constexpr int MaxListCount = 10000;

    TDataFiler(TAbstractStore& Store, const QString& Section);

    void RestoreEntry(QObject& Component, const QString& PropertyName);
    void SaveEntry(QObject& Component, const QString& PropertyName);

    // The property Name names, ignoring case; a property a class declares hides one of its
    // ancestors. Invalid when there is none.
    static QMetaProperty FindProperty(const QObject& Object, const QString& Name);
    // The trimmed text a value is written as; empty for a value that has no text form.
    static QString ValueText(const QObject& Object, const QMetaProperty& Property);
    // Sets the property from Text by the rules of its type.
    static void SetValueText(QObject& Object, const QMetaProperty& Property, const QString& Text);
    // Without leading and trailing blanks and control characters.
    static QString Trim(const QString& Text);

private:
    void RestoreProperty(QObject& Object, const QMetaProperty& Property, const QString& Key);
    void SaveProperty(QObject& Object, const QMetaProperty& Property, const QString& Key);
    void RestoreList(QObject& Object, const QMetaProperty& Property, const QString& Key);
    void SaveList(const QObject& Object, const QMetaProperty& Property, const QString& Key);

    TAbstractStore& FStore;
    QString FSection;
};
