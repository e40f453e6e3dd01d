#pragma once

#include "framework/igraphics/GraphicsEditorView.h"
#include "plugin/ProductInterface.h"

class Aubrevane;

/** The product's interface for a host that loaded the bundle, implemented on one instance. Main thread only. */
class AubrevaneInterface final : public aubrevane::plugin::ProductInterface
{
public:
    explicit AubrevaneInterface(Aubrevane& plugin);

    void learnFromInput() override;
    bool isLearningFromInput() const override;
    void learnFromFile(const std::string& path) override;
    Learning learning() const override;
    std::string learningMessage() const override;
    std::vector<NamedFile> targets() const override;
    bool loadTarget(const std::string& name) override;
    void saveTarget(const std::string& name) override;
    std::filesystem::path targetFileForSave(const std::string& name) const override;
    std::vector<NamedFile> presets() const override;
    bool loadPreset(const std::string& name) override;
    void savePreset(const std::string& name) override;
    std::filesystem::path presetFileForSave(const std::string& name) const override;
    std::string statusLine() const override;
    std::optional<UpdateReport> updateReport() const override;
    iplug::igraphics::IEditorView& editor() override { return editorView; }

private:
    Aubrevane& plugin;
    iplug::igraphics::GraphicsEditorView editorView;
};
