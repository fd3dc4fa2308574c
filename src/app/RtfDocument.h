#pragma once
// Rich text for the help window. The help file is RTF because a photographer can open and
// edit it in any word processor; QTextDocument does not read RTF, so the file is turned into
// the HTML subset QTextDocument renders.
//
// Understood: paragraphs (\par, \pard, \line, \page), character formatting (\b \i \ul \strike
// \fs \plain \v), paragraph alignment, indents and spacing (\qc \qr \qj \li \fi \sb \sa), lists
// written either as "\bullet\tab text" / "1.\tab text" or with the marker groups word
// processors write ({\pntext ...}, {\listtext ...}), characters (\'hh in Windows-1252, \uN with
// \ucN, \\ \{ \}, \~, \emdash and friends) and groups. Font and colour tables, pictures,
// document information and every {\* ...} destination are skipped.
//
// Any byte sequence is accepted: unbalanced braces, a truncated file and absurd nesting give
// a best-effort document, never a crash or a hang. Input that does not start with "{\rtf" is
// shown as plain text, as a word processor would.

#include <QByteArray>
#include <QString>

QString RtfToHtml(const QByteArray& rtf);

// The whole file, for RtfToHtml. Throws KelvoError with the platform's file-open message,
// "Cannot open file "<path>". <reason>", when the file is missing, is a folder or cannot be read.
QByteArray ReadRichTextFile(const QString& fileName);
