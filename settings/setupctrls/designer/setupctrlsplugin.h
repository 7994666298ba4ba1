#pragma once

#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <functional>

// One widget of the setup framework as the form editor's widget box offers it.
class SetupCtrlsWidget : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    struct Entry
    {
        QString name;
        QString header;
        QString toolTip;
        QString whatsThis;
        bool container;
        QSize size;
        QString extraProperties; // Designer's XML for defaults beyond the geometry
        // String properties that are names, not text: kept out of translation, edited as one
        // line ("objectname" checks it is a valid object name).
        QList<std::pair<QString, QString>> untranslated; // property, Designer's editor type
        std::function<QWidget *(QWidget *parent)> create;
    };

    SetupCtrlsWidget(Entry entry, QObject *parent);

    QString name() const override { return m_entry.name; }
    QString group() const override;
    QString toolTip() const override { return m_entry.toolTip; }
    QString whatsThis() const override { return m_entry.whatsThis; }
    QString includeFile() const override { return m_entry.header; }
    QIcon icon() const override;
    bool isContainer() const override { return m_entry.container; }
    QWidget *createWidget(QWidget *parent) override { return m_entry.create(parent); }
    QString domXml() const override;
    bool isInitialized() const override { return m_initialized; }
    void initialize(QDesignerFormEditorInterface *core) override;

private:
    Entry m_entry;
    bool m_initialized = false;
};

// The board image, the hotspot, the content panel and both jumpers, in one widget-box group.
class SetupCtrlsPlugin : public QObject, public QDesignerCustomWidgetCollectionInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
    Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

public:
    explicit SetupCtrlsPlugin(QObject *parent = nullptr);

    QList<QDesignerCustomWidgetInterface *> customWidgets() const override { return m_widgets; }

private:
    QList<QDesignerCustomWidgetInterface *> m_widgets;
};
