#include "ui/MenuTree.h"

#include "app/Provider.h"

#include <QMenu>
#include <QMenuBar>

namespace {

QMenu* addMenu(QWidget* parent, const char* name, const QString& caption)
{
    auto* menu = new QMenu(caption, parent);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

// An item, or a separator when it has no caption.
QAction* addItem(QMenu* menu, const char* name, const QString& caption = QString())
{
    QAction* action = caption.isEmpty() ? menu->addSeparator() : menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

MenuTree::MenuTree(QMenuBar* bar)
{
    mnuFile = addMenu(bar, "mnuFile", QStringLiteral("&File"));
    mnuFileUpdateIP = addItem(mnuFile, "mnuFileUpdateIP", QStringLiteral("&Update IP"));
    mnuFileGoOffline = addItem(mnuFile, "mnuFileGoOffline", QStringLiteral("&Go Offline"));
    mnuDileSep1 = addItem(mnuFile, "mnuDileSep1");
    mnuFileExit = addItem(mnuFile, "mnuFileExit", QStringLiteral("E&xit"));
    bar->addMenu(mnuFile);

    mnuEdit = addMenu(bar, "mnuEdit", QStringLiteral("&Edit"));
    mnuEditOptions = addItem(mnuEdit, "mnuEditOptions", QStringLiteral("&Options..."));
    bar->addMenu(mnuEdit);

    mnuHelp = addMenu(bar, "mnuHelp", QStringLiteral("&Help"));
    mnuHelpHomepage = addItem(mnuHelp, "mnuHelpHomepage", QStringLiteral("My Homepage"));
    mnuHelpEmail = addItem(mnuHelp, "mnuHelpEmail", QStringLiteral("My E-mai"));
    mnuHelpSep1 = addItem(mnuHelp, "mnuHelpSep1");
    mnuHelpBrevant = addMenu(mnuHelp, "mnuHelpBrevant", provider::kSubmenuCaption);
    mnuHelpBrevantHomepage = addItem(mnuHelpBrevant, "mnuHelpBrevantHomepage", QStringLiteral("&Homepage"));
    mnuHelpBrevantDynDNS = addItem(mnuHelpBrevant, "mnuHelpBrevantDynDNS", QStringLiteral("&DynDNS Config"));
    mnuHelp->addMenu(mnuHelpBrevant);
    mnuHelpSep2 = addItem(mnuHelp, "mnuHelpSep2");
    mnuHelpAbout = addItem(mnuHelp, "mnuHelpAbout", QStringLiteral("&About..."));
    bar->addMenu(mnuHelp);

    mnuContext = addMenu(bar, "mnuContext", QStringLiteral("Context"));
    mnuContextRestore = addItem(mnuContext, "mnuContextRestore", QStringLiteral("&Restore"));
    mnuContextSep1 = addItem(mnuContext, "mnuContextSep1");
    mnuContextUpdateIP = addItem(mnuContext, "mnuContextUpdateIP", QStringLiteral("&Update IP"));
    mnuContextGoOffline = addItem(mnuContext, "mnuContextGoOffline", QStringLiteral("&Go Offline"));
    mnuContextSep2 = addItem(mnuContext, "mnuContextSep2");
    mnuContextOptions = addItem(mnuContext, "mnuContextOptions", QStringLiteral("&Options..."));
    mnuContextSep3 = addItem(mnuContext, "mnuContextSep3");
    mnuContextAbout = addItem(mnuContext, "mnuContextAbout", QStringLiteral("&About..."));
    mnuContextExit = addItem(mnuContext, "mnuContextExit", QStringLiteral("E&xit"));
    mnuContext->setDefaultAction(mnuContextRestore);
    bar->addMenu(mnuContext);
    // The popup of the tray icon lives on the menu bar but is never shown there.
    mnuContext->menuAction()->setVisible(false);
}
