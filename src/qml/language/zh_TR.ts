<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en">
<context>
    <name>AccountStrip</name>
    <message>
        <location filename="../AccountStrip.qml" line="87"/>
        <source>Still Have</source>
        <translation>剩餘</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="90"/>
        <source>IPs</source>
        <translation>個IP</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="99"/>
        <location filename="../AccountStrip.qml" line="133"/>
        <source>Recharge</source>
        <translation>充值</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="111"/>
        <source>Remaining traffic</source>
        <translation>剩餘流量</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="125"/>
        <source>Expiration time: </source>
        <translation>到期時間：</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="143"/>
        <source>Local Proxy</source>
        <translation>本地代理</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="150"/>
        <source>Local IP</source>
        <translation>本機出口IP</translation>
    </message>
    <message>
        <location filename="../AccountStrip.qml" line="159"/>
        <source>Check</source>
        <translation>檢測</translation>
    </message>
</context>
<context>
    <name>ApiPage</name>
    <message>
        <location filename="../ApiPage.qml" line="64"/>
        <source>Link</source><translation>連結</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="75"/>
        <source>Generate</source><translation>生成</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="83"/>
        <source>Copy</source><translation>複製</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="92"/>
        <source>In API mode, the IP cost will be deducted from balance when the proxy is generated.</source><translation>API 模式下，生成代理時將從餘額中扣除 IP 費用。</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="99"/>
        <source>Parameter :</source><translation>參數：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="106"/>
        <source>start port</source><translation>起始端口</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="118"/>
        <source>API Guide</source><translation>API 指南</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="139"/>
        <source>Get one proxy from a random country:</source><translation>從隨機國家取得一個代理：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="141"/>
        <source>Get one proxy from the United States:</source><translation>從美國取得一個代理：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="143"/>
        <source>Get one proxy from New York City, New York, United States:</source><translation>從美國紐約州紐約市取得一個代理：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="145"/>
        <source>Get one proxy by postal code:</source><translation>按郵遞區號取得一個代理：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="147"/>
        <source>Get 50 random proxies:</source><translation>取得 50 個隨機代理：</translation>
    </message>
    <message>
        <location filename="../ApiPage.qml" line="149"/>
        <source>Get 100 random proxies from port 50000:</source><translation>從端口 50000 起取得 100 個隨機代理：</translation>
    </message>
</context>
<context>
    <name>BindWaiting</name>
    <message>
        <location filename="../BindWaiting.qml" line="35"/>
        <source>Binding...</source>
        <translation>綁定中...</translation>
    </message>
</context>
<context>
    <name>BottomBar</name>
    <message>
        <location filename="../BottomBar.qml" line="21"/>
        <source>PortForwardList</source>
        <translation>端口轉發列表</translation>
    </message>
    <message>
        <location filename="../BottomBar.qml" line="28"/>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <location filename="../BottomBar.qml" line="41"/>
        <source>Country Code</source>
        <translation>國家代碼</translation>
    </message>
</context>
<context>
    <name>DTCombox3</name>
    <message>
        <location filename="../DTCombox3.qml" line="13"/>
        <source>random</source>
        <translation>隨機</translation>
    </message>
</context>
<context>
    <name>LeftBar</name>
    <message>
        <location filename="../LeftBar.qml" line="56"/>
        <source>ProxyList</source>
        <translation>代理列表</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="65"/>
        <source>TodayList</source>
        <translation>今日列表</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="74"/>
        <source>Favorites</source>
        <translation>收藏</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="84"/>
        <source>API</source>
        <translation>API</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="96"/>
        <source>S5</source>
        <translation>S5</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="97"/>
        <source>Proxy Guide</source>
        <translation>代理指南</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="99"/>
        <source>Update</source>
        <translation>更新</translation>
    </message>
    <message>
        <location filename="../LeftBar.qml" line="100"/>
        <source>TG Channel</source>
        <translation>TG 頻道</translation>
    </message>
</context>
<context>
    <name>LinePages</name>
    <message>
        <location filename="../LinePages.qml" line="180"/>
        <source>Connect</source><translation>連接</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="189"/>
        <source>Forward Port To Proxy</source><translation>轉發端口到代理</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="197"/>
        <source>Forward </source><translation>轉發 </translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="207"/>
        <source>Add To Favorites</source><translation>加入收藏</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="216"/>
        <source>Remove Favorites</source><translation>移除收藏</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="257"/>
        <source>(used)</source><translation>（已用）</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="257"/>
        <source>(unusable)</source><translation>（不可用）</translation>
    </message>
    <message>
        <location filename="../LinePages.qml" line="258"/>
        <source>(free)</source><translation>（空閒）</translation>
    </message>
</context>
<context>
    <name>LineTable</name>
    <message>
        <location filename="../LineTable.qml" line="26"/>
        <source>ProxyIP</source><translation>代理IP</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="26"/>
        <source>Ping</source><translation>延遲</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="26"/>
        <source>Country</source><translation>國家</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="26"/>
        <source>State</source><translation>州/省</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="27"/>
        <source>City</source><translation>城市</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="27"/>
        <source>ZIP</source><translation>郵編</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="27"/>
        <source>ISP</source><translation>ISP</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="27"/>
        <source>BindType</source><translation>綁定類型</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="28"/>
        <source>BindTime</source><translation>綁定時間</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="28"/>
        <source>BindPort</source><translation>綁定端口</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="28"/>
        <source>Available</source><translation>可用</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="29"/>
        <source>Online</source><translation>在線</translation>
    </message>
    <message>
        <location filename="../LineTable.qml" line="29"/>
        <source>Remark</source><translation>備註</translation>
    </message>
</context>
<context>
    <name>Login</name>
    <message>
        <location filename="../Login.qml" line="10"/>
        <location filename="../Login.qml" line="159"/>
        <source>Login</source>
        <translation>登入</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="40"/>
        <source>This user does not exist</source>
        <translation>此用戶不存在</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="42"/>
        <source>Username or password is incorrect</source>
        <translation>用戶名或密碼錯誤</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="58"/>
        <source>Username:</source>
        <translation>用戶名：</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="68"/>
        <source>username</source>
        <translation>用戶名</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="73"/>
        <source>Password:</source>
        <translation>密碼：</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="83"/>
        <source>password</source>
        <translation>密碼</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="115"/>
        <source>Auto Login</source>
        <translation>自動登入</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="132"/>
        <source>Allow to login automatically on this device.</source>
        <translation>允許在此設備上自動登入。</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="133"/>
        <source>You can turn off Auto Login by logging out your account and uncheck Auto Login option.</source>
        <translation>您可以登出帳號並取消勾選「自動登入」來關閉自動登入。</translation>
    </message>
    <message>
        <location filename="../Login.qml" line="166"/>
        <source>Register</source>
        <translation>註冊</translation>
    </message>
</context>
<context>
    <name>PortForwardList</name>
    <message>
        <location filename="../PortForwardList.qml" line="11"/>
        <source>Forward List</source><translation>轉發列表</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="27"/>
        <source>ProxyIP</source><translation>代理IP</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="28"/>
        <source>Port</source><translation>端口</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="29"/>
        <source>Status</source><translation>狀態</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="30"/>
        <source>PlanType</source><translation>方案類型</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="31"/>
        <source>BindIp</source><translation>綁定IP</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="32"/>
        <source>City</source><translation>城市</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="33"/>
        <source>Operate</source><translation>操作</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="34"/>
        <location filename="../PortForwardList.qml" line="155"/>
        <source>Copy</source><translation>複製</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="47"/>
        <source>Free All</source><translation>全部釋放</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="50"/>
        <source>Free All Success!</source><translation>全部釋放成功！</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="58"/>
        <source>Copy All</source><translation>全部複製</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="65"/>
        <source>Copy All Success!</source><translation>全部複製成功！</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="113"/>
        <source>Used</source><translation>已用</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="113"/>
        <source>Free</source><translation>空閒</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="135"/>
        <source> Free </source><translation> 釋放 </translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="142"/>
        <source>Free Success!</source><translation>釋放成功！</translation>
    </message>
    <message>
        <location filename="../PortForwardList.qml" line="158"/>
        <source>Copy Success!</source><translation>複製成功！</translation>
    </message>
</context>
<context>
    <name>PriceItem</name>
    <message>
        <location filename="../PriceItem.qml" line="32"/>
        <source>IPs</source>
        <translation>個IP</translation>
    </message>
    <message>
        <location filename="../PriceItem.qml" line="83"/>
        <source>Buy Plan</source>
        <translation>購買方案</translation>
    </message>
</context>
<context>
    <name>Pricing</name>
    <message>
        <location filename="../Pricing.qml" line="25"/>
        <source>Please Select A Suitable Plan</source>
        <translation>請選擇合適的方案</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="32"/>
        <source>Easy to use client and large S5 IP pool facilitate your business.</source>
        <translation>易用的客戶端與龐大的 S5 IP 池，助力您的業務。</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="40"/>
        <source>190+ countries and regions</source>
        <translation>190+ 個國家和地區</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="40"/>
        <source>ZIP code filtering</source>
        <translation>郵遞區號篩選</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="40"/>
        <source>Desktop software</source>
        <translation>桌面軟體</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="41"/>
        <source>Historical version download</source>
        <translation>歷史版本下載</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="73"/>
        <source>Personal</source>
        <translation>個人</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="73"/>
        <source>Enterprise</source>
        <translation>企業</translation>
    </message>
    <message>
        <location filename="../Pricing.qml" line="103"/>
        <source>PAY AS YOU GO</source>
        <translation>按量付費</translation>
    </message>
</context>
<context>
    <name>Remark</name>
    <message>
        <location filename="../Remark.qml" line="11"/>
        <source>Remark</source><translation>備註</translation>
    </message>
    <message>
        <location filename="../Remark.qml" line="29"/>
        <source>Remark: Max number of letter is 100 !</source><translation>備註：最多 100 個字元！</translation>
    </message>
    <message>
        <location filename="../Remark.qml" line="40"/>
        <source>Submit</source><translation>提交</translation>
    </message>
</context>
<context>
    <name>SearchBar</name>
    <message>
        <location filename="../SearchBar.qml" line="84"/>
        <source>Country/Region</source><translation>國家/地區</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="111"/>
        <source>State</source><translation>州/省</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="133"/>
        <source>City</source><translation>城市</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="151"/>
        <source>ISP</source><translation>ISP</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="166"/>
        <source>Bind Type</source><translation>綁定類型</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="185"/>
        <source>Zip code</source><translation>郵遞區號</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="202"/>
        <source>Search</source><translation>搜尋</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="211"/>
        <source>Clear</source><translation>清除</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="225"/>
        <source>Start Port</source><translation>起始端口</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="238"/>
        <source>Num</source><translation>數量</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="252"/>
        <source>DataType</source><translation>資料類型</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="270"/>
        <source>Start IP</source><translation>起始IP</translation>
    </message>
    <message>
        <location filename="../SearchBar.qml" line="281"/>
        <source>End IP</source><translation>結束IP</translation>
    </message>
</context>
<context>
    <name>SettingsPage</name>
    <message>
        <location filename="../SettingsPage.qml" line="24"/>
        <source>Local Port Settings</source>
        <translation>本地端口設定</translation>
    </message>
    <message>
        <location filename="../SettingsPage.qml" line="33"/>
        <source>Begin Port</source>
        <translation>起始端口</translation>
    </message>
    <message>
        <location filename="../SettingsPage.qml" line="48"/>
        <source>Port Number</source>
        <translation>端口數量</translation>
    </message>
    <message>
        <location filename="../SettingsPage.qml" line="66"/>
        <source> Used </source>
        <translation> 應用 </translation>
    </message>
    <message>
        <location filename="../SettingsPage.qml" line="69"/>
        <source>Please start the proxy first!</source>
        <translation>請先啟動代理！</translation>
    </message>
</context>
<context>
    <name>Tips</name>
    <message>
        <location filename="../Tips.qml" line="8"/>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../Tips.qml" line="33"/>
        <source>OK</source>
        <translation>確定</translation>
    </message>
</context>
<context>
    <name>TipsBuy</name>
    <message>
        <location filename="../TipsBuy.qml" line="9"/>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../TipsBuy.qml" line="20"/>
        <source>Your IP number has been used up, please renew.</source>
        <translation>您的IP數量已用完，請續費。</translation>
    </message>
    <message>
        <location filename="../TipsBuy.qml" line="20"/>
        <source>Insufficient traffic.</source>
        <translation>流量不足。</translation>
    </message>
    <message>
        <location filename="../TipsBuy.qml" line="36"/>
        <source>Sure</source>
        <translation>確定</translation>
    </message>
    <message>
        <location filename="../TipsBuy.qml" line="47"/>
        <source>Cancle</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>TopBar</name>
    <message>
        <location filename="../TopBar.qml" line="10"/>
        <source>Login</source>
        <translation>登入</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="52"/>
        <source>ZQ S5 Proxy</source>
        <translation>ZQ S5 代理</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="73"/>
        <source>S5 Proxy</source>
        <translation>S5 代理</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="80"/>
        <source>Resi Traffic</source>
        <translation>住宅流量</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="87"/>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="94"/>
        <source>Pricing</source>
        <translation>價格</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="175"/>
        <source>ID:</source>
        <translation>帳號：</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="194"/>
        <source>Recharge</source>
        <translation>充值</translation>
    </message>
    <message>
        <location filename="../TopBar.qml" line="205"/>
        <source>Update</source>
        <translation>更新</translation>
    </message>
</context>
<context>
    <name>Update</name>
    <message>
        <location filename="../Update.qml" line="18"/>
        <location filename="../Update.qml" line="138"/>
        <source>Update</source>
        <translation>更新</translation>
    </message>
    <message>
        <location filename="../Update.qml" line="63"/>
        <source>Found a new version:</source>
        <translation>發現新版本：</translation>
    </message>
    <message>
        <location filename="../Update.qml" line="64"/>
        <source>No update program at present</source>
        <translation>目前沒有可用的更新</translation>
    </message>
    <message>
        <location filename="../Update.qml" line="71"/>
        <source>Try comprehensively upgraded ZQ S5 Manager!</source>
        <translation>試試全面升級的 ZQ S5 管理器！</translation>
    </message>
    <message>
        <location filename="../Update.qml" line="77"/>
        <source>Note: If update fails,download from web:</source>
        <translation>注意：如果更新失敗，請從網站下載：</translation>
    </message>
    <message>
        <location filename="../Update.qml" line="152"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="30"/>
        <location filename="../main.qml" line="713"/>
        <source>ZQ S5 Proxy</source>
        <translation>ZQ S5 代理</translation>
    </message>
    <message>
        <location filename="../main.qml" line="97"/>
        <location filename="../main.qml" line="454"/>
        <source>Please log in first!</source>
        <translation>請先登入！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="111"/>
        <source>Start success!</source>
        <translation>啟動成功！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="111"/>
        <source>Start failed!</source>
        <translation>啟動失敗！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="192"/>
        <location filename="../main.qml" line="282"/>
        <source>Please start the proxy first!</source><translation>請先啟動代理！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="192"/>
        <source>Please login first!</source><translation>請先登入！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="203"/>
        <source>IP Offline!</source><translation>IP 已離線！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="207"/>
        <source>Line Offline!</source><translation>線路已離線！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="348"/>
        <location filename="../main.qml" line="751"/>
        <source>Log Out</source>
        <translation>登出</translation>
    </message>
    <message>
        <location filename="../main.qml" line="348"/>
        <location filename="../main.qml" line="764"/>
        <source>Login</source>
        <translation>登入</translation>
    </message>
    <message>
        <location filename="../main.qml" line="374"/>
        <location filename="../main.qml" line="537"/>
        <source>Please use in non Chinese Mainland environment</source>
        <translation>請在中國大陸以外的網路環境中使用</translation>
    </message>
    <message>
        <location filename="../main.qml" line="501"/>
        <source>Please start proxy first!</source>
        <translation>請先啟動代理！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="693"/>
        <location filename="../main.qml" line="873"/>
        <source>Bind Failed! Please try again.</source>
        <translation>綁定失敗！請重試。</translation>
    </message>
    <message>
        <location filename="../main.qml" line="717"/>
        <source>Show</source>
        <translation>顯示</translation>
    </message>
    <message>
        <location filename="../main.qml" line="721"/>
        <source>Hide</source>
        <translation>隱藏</translation>
    </message>
    <message>
        <location filename="../main.qml" line="726"/>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <location filename="../main.qml" line="783"/>
        <source>The current environment can use ZQ S5</source>
        <translation>目前環境可以使用 ZQ S5</translation>
    </message>
    <message>
        <location filename="../main.qml" line="791"/>
        <source>Sorry not supported in current region!</source>
        <translation>抱歉，目前地區不支援！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="833"/>
        <source>get area info fail:</source>
        <translation>取得地區資訊失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="841"/>
        <source>check ip time out,please try again</source>
        <translation>檢測IP逾時，請重試</translation>
    </message>
    <message>
        <location filename="../main.qml" line="844"/>
        <source>login time out,please login first</source>
        <translation>登入逾時，請先登入</translation>
    </message>
    <message>
        <location filename="../main.qml" line="869"/>
        <source>Bind Success!</source><translation>綁定成功！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="871"/>
        <source>No more port to bind!
Please reset port range.</source><translation>沒有可綁定的端口！
請重新設定端口範圍。</translation>
    </message>
    <message>
        <location filename="../main.qml" line="882"/>
        <location filename="../main.qml" line="896"/>
        <source>Refresh proxylist success</source><translation>代理列表刷新成功</translation>
    </message>
    <message>
        <location filename="../main.qml" line="885"/>
        <location filename="../main.qml" line="899"/>
        <source>Refresh proxylist failed:</source><translation>代理列表刷新失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="886"/>
        <location filename="../main.qml" line="900"/>
        <source>No usable IP was obtained!</source><translation>未取得可用的 IP！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="909"/>
        <source>Refresh todaylist success</source><translation>今日列表刷新成功</translation>
    </message>
    <message>
        <location filename="../main.qml" line="911"/>
        <location filename="../main.qml" line="912"/>
        <source>Refresh todaylist failed:</source><translation>今日列表刷新失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="924"/>
        <location filename="../main.qml" line="930"/>
        <source>Refresh favouritelist success</source><translation>收藏列表刷新成功</translation>
    </message>
    <message>
        <location filename="../main.qml" line="934"/>
        <source>Favourite Success!</source><translation>收藏成功！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="936"/>
        <source>The IP address already exists</source><translation>此 IP 位址已存在</translation>
    </message>
    <message>
        <location filename="../main.qml" line="938"/>
        <source>set favour fail:</source><translation>收藏失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="943"/>
        <source>Remark Success!</source><translation>備註成功！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="945"/>
        <source>set remark fail:</source><translation>備註失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="950"/>
        <source>Remove Success!</source><translation>移除成功！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="952"/>
        <source>set dislike fail:</source><translation>移除失敗：</translation>
    </message>
    <message>
        <location filename="../main.qml" line="956"/>
        <source>Release failed!</source><translation>釋放失敗！</translation>
    </message>
    <message>
        <location filename="../main.qml" line="964"/>
        <source>Free fail:</source><translation>釋放失敗：</translation>
    </message>
</context>
<context>
    <name>zq::helper::HelperProcess</name>
    <message>
        <location filename="../../helper/helperprocess.cpp" line="254"/>
        <source>The local proxy did not answer within %1 s</source>
        <translation>本機代理在 %1 秒內沒有回應</translation>
    </message>
    <message>
        <location filename="../../helper/helperprocess.cpp" line="298"/>
        <source>Local proxy crashed (signal %1)</source>
        <translation>本機代理當機（訊號 %1）</translation>
    </message>
    <message>
        <location filename="../../helper/helperprocess.cpp" line="299"/>
        <source>Local proxy stopped unexpectedly (exit code %1)</source>
        <translation>本機代理意外停止（結束代碼 %1）</translation>
    </message>
    <message>
        <location filename="../../helper/helperprocess.cpp" line="306"/>
        <source>%1; it was not restarted because it failed %2 times within a minute</source>
        <translation>%1；因一分鐘內已失敗 %2 次，未再重新啟動</translation>
    </message>
    <message>
        <location filename="../../helper/helperprocess.cpp" line="312"/>
        <source>%1, restarting</source>
        <translation>%1，正在重新啟動</translation>
    </message>
</context>
</TS>
