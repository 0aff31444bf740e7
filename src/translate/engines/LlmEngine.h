#pragma once

#include "translate/engines/TranslationEngine.h"

// Any service that speaks the OpenAI-compatible chat completions API (a local
// Ollama or llama.cpp server, or a hosted model): the system message names
// both languages in English and asks for the translation alone.
class LlmEngine : public TranslationEngine {
public:
    // baseUrl: up to the API's version, e.g. "http://127.0.0.1:11434/v1".
    LlmEngine(QString baseUrl, QString model, QString key);

    QString Name() const override;
    // The model's name.
    QString Label() const override;
    // The English name of the language ("auto" stays "auto"): a model knows
    // every language of the catalogue by name.
    std::optional<QString> Code(QStringView catalogueCode) const override;
    EngineRequest Request(const QString& source, const QString& target,
                          QStringView text) const override;
    // choices[0].message.content, without a leading <think> block that
    // reasoning models put first. However many lines it has, they are shown.
    std::optional<QString> Parse(QByteArrayView answer) const override;

    // The system message for two English language names ("auto": detect).
    static QString Instruction(const QString& source, const QString& target);

private:
    QString url_, model_, key_;
};
