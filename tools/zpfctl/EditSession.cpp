// Loading, saving and restarting for zpfctl's editing commands.
#include "zpfctl/EditSession.h"

#include <cstdio>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "core/ProxyRestart.h"
#include "platform/NamedEvent.h"
#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/TextFile.h"
#include "platform/ServiceControl.h"
#include "zpfctl/Language.h"

namespace zpfctl {

namespace {

int restartProxy()
{
    const std::string dir = baseDirectory();
    platform::SystemdServiceController services;
    platform::RuntimeNamedObjects objects(platform::RuntimeDirectory(dir));
    platform::PosixProgramLauncher launcher;
    ProxyRestartEnv env{services, objects, launcher, dir};
    RestartResult result;
    if (services.Find(kProxyServiceName) == 0) {
        result = RestartFilteringService(env);
    } else if (objects.InstanceExists(kProxyWindowClass)) {
        result = RestartTrayProxy(env, false);
    } else {
        // Starting a tray proxy on a machine without a display would fail quietly.
        std::printf("%s\n", Say("実行中のフィルタリングプログラムはありません。変更は次の起動から使われます。",
                                "No proxy is running; the change takes effect when it next starts."));
        return kOk;
    }
    switch (result) {
    case RestartResult::Restarted:
        std::printf("%s\n", Say("フィルタリングプログラムを再起動しました。", "The proxy was restarted."));
        return kOk;
    case RestartResult::NoEvents:
        return Refuse(Say("実行中のフィルタリングプログラムに再起動を伝えられませんでした。",
                          "The running proxy could not be asked to stop; it was left alone."));
    case RestartResult::StillRunning:
        return Refuse(Say(RestartResultText(result), "The proxy did not stop in time; it was not restarted."));
    case RestartResult::StartFailed:
        return Refuse(Say(RestartResultText(result), "The proxy could not be started."));
    case RestartResult::NoService:
        break;
    }
    return kFailed;
}

} // namespace

EditSession::EditSession()
    : m_cnf(*ConfigrationFileSigleton::getInstance())
    , m_document(m_cnf, baseDirectory())
{
    // A missing file is normal in a new program directory; a damaged one is refused
    // by Save, which never writes over it.
    (void)m_document.Load();
    // Without the category list the category lines of zpf.cnf are not understood, and
    // a save would drop every group's category settings.
    if (m_cnf.categoryList.size() == 0 && platform::PathExists(m_cnf.zpfCnfPath))
        m_refusal = Say("category2.cnf を読めないため、保存するとカテゴリの設定が失われます。保存しませんでした。",
                        "nothing was saved: category2.cnf cannot be read, and saving would drop every group's "
                        "category settings");
}

std::string GroupDisplayName(const GroupList& groups, int group)
{
    if (group == 0)
        return "(default)";
    return encoding::sjisToUtf8(groups.GetGroupName(group));
}

int EditSession::Group(const std::string& utf8Name)
{
    if (utf8Name.empty() || utf8Name == "(default)")
        return 0;
    const std::string sjis = encoding::utf8ToSjis(utf8Name);
    const int group = sjis.empty() ? -1 : m_cnf.groupList.GetGroupNo(sjis.c_str());
    if (group <= 0 || m_cnf.groupList[group].deleted) {
        std::fprintf(stderr, "zpfctl: %s '%s'\n", Say("次のグループはありません：", "there is no group"),
                     utf8Name.c_str());
        return -1;
    }
    return group;
}

int EditSession::TakeGroup(Args& args)
{
    std::string name;
    if (!TakeOption(args, "--group", name))
        return 0;
    return Group(name);
}

int EditSession::Save(bool restart)
{
    if (!m_refusal.empty())
        return Refuse(m_refusal);
    const SettingsDocument::SaveResult saved = m_document.Save(false);
    if (!saved.ok) {
        if (Japanese())
            return Refuse(saved.message);
        if (saved.needsConsent.empty())
            return Refuse("the settings could not be saved: " + encoding::sjisToUtf8(m_cnf.errorText));
        std::string message = "nothing was saved: these files could not be read and would be replaced (repair or "
                              "remove them first):";
        for (const std::string& name : saved.needsConsent)
            message += "\n  " + name;
        return Refuse(message);
    }
    return restart ? restartProxy() : kOk;
}

bool RefuseInStandalone(const char* what)
{
    if (!IsStandaloneEdition())
        return false;
    std::fprintf(stderr, "zpfctl: %s (%s)\n",
                 Say("スタンドアロン版にはグループ、IPリスト、アカウントはありません",
                     "the standalone edition has no groups, IP lists or accounts"),
                 what);
    return true;
}

} // namespace zpfctl
