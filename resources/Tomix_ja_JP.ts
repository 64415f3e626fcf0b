<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <source>Tomix</source>
        <translation>Tomix</translation>
    </message>
    <message>
        <source>Row Images</source>
        <translation>投影画像</translation>
    </message>
    <message>
        <source>I0 Image</source>
        <translation>I0 画像</translation>
    </message>
    <message>
        <source>BG Image</source>
        <translation>BG 画像</translation>
    </message>
    <message>
        <source>CT Proc. Ctrl</source>
        <translation>CT 処理設定</translation>
    </message>
    <message>
        <source>Calculation</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>CT1</source>
        <translation>CT1</translation>
    </message>
    <message>
        <source>CT2</source>
        <translation>CT2</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>Show Res.</source>
        <translation>結果表示</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 255, 232);</source>
        <translation>background-color: rgb(255, 255, 232);</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent</source>
        <translation>所要</translation>
    </message>
    <message>
        <source>0 %</source>
        <translation>0 %</translation>
    </message>
    <message>
        <source>Results</source>
        <translation>結果</translation>
    </message>
    <message>
        <source>Auto Save Data</source>
        <translation>データ自動保存</translation>
    </message>
    <message>
        <source>Auto Save Img</source>
        <translation>画像自動保存</translation>
    </message>
    <message>
        <source>Save in Sub Folders</source>
        <translation>サブフォルダに保存</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When this option is selected but neither &apos;of Energy&apos; nor &apos;of Slice&apos; is selected, it works as if &apos;of Slice&apos; is selected.W&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;このオプションを選び「エネルギー毎」も「スライス毎」も選ばないときは、「スライス毎」を選んだのと同じに動作します。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>of Energy</source>
        <translation>エネルギー毎</translation>
    </message>
    <message>
        <source>of Slice</source>
        <translation>スライス毎</translation>
    </message>
    <message>
        <source>Upper Limit</source>
        <translation>上限</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>Lower Limit</source>
        <translation>下限</translation>
    </message>
    <message>
        <source>-10</source>
        <translation>-10</translation>
    </message>
    <message>
        <source>Offset</source>
        <translation>オフセット</translation>
    </message>
    <message>
        <source>Fix Color Scale</source>
        <translation>カラースケール固定</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>Save Setup</source>
        <translation>設定保存</translation>
    </message>
    <message>
        <source>Load Setup</source>
        <translation>設定読込</translation>
    </message>
    <message>
        <source>Show Additionl Info for CT XAFS</source>
        <translation>CT XAFS 用の追加情報を表示</translation>
    </message>
    <message>
        <source>background-color: rgb(240, 240, 240);</source>
        <translation>background-color: rgb(240, 240, 240);</translation>
    </message>
    <message>
        <source>Raw Image</source>
        <translation>生画像</translation>
    </message>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>CT Reconstructed Image</source>
        <translation>CT 再構成像</translation>
    </message>
    <message>
        <source>CT Images</source>
        <translation>CT 画像一覧</translation>
    </message>
    <message>
        <source>Send Msg.</source>
        <translation>通知送信</translation>
    </message>
    <message>
        <source>Exec 2DA</source>
        <translation>2DA 実行</translation>
    </message>
    <message>
        <source>Link 2dOrvex</source>
        <translation>2dOrvex 接続</translation>
    </message>
    <message>
        <source>w 2DA</source>
        <translation>2DA 付き</translation>
    </message>
    <message>
        <source>Cont. 2DA</source>
        <translation>連続 2DA</translation>
    </message>
    <message>
        <source>Seq. Calc.</source>
        <translation>連続計算</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Keep on New Sets</source>
        <translation>新セットでも保持</translation>
    </message>
    <message>
        <source>[s]</source>
        <translation>[秒]</translation>
    </message>
    <message>
        <source>Progress Msg.</source>
        <translation>進行状況</translation>
    </message>
    <message>
        <source>More</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>Sel. I0 File Set</source>
        <translation>I0 ファイル組選択</translation>
    </message>
    <message>
        <source>Measured Raw Image</source>
        <translation>測定生画像</translation>
    </message>
    <message>
        <source>Check Sinogram</source>
        <translation>サイノグラム確認</translation>
    </message>
    <message>
        <source>CT Reconstruction</source>
        <translation>CT 再構成</translation>
    </message>
    <message>
        <source>CT images</source>
        <translation>CT 画像一覧</translation>
    </message>
    <message>
        <source>CT Calc2 %1</source>
        <translation>CT 計算2 %1</translation>
    </message>
    <message>
        <source>CT2 %1</source>
        <translation>CT2 %1</translation>
    </message>
    <message>
        <source>I0 of Raw Image</source>
        <translation>生画像の I0</translation>
    </message>
    <message>
        <source>I0 of I0 Image</source>
        <translation>I0 画像の I0</translation>
    </message>
    <message>
        <source>Loading first Data Set</source>
        <translation>最初のデータセットを読込中</translation>
    </message>
    <message>
        <source>Loading next Data Set</source>
        <translation>次のデータセットを読込中</translation>
    </message>
    <message>
        <source>Total / Stage</source>
        <translation>全体 / 段階</translation>
    </message>
    <message>
        <source>Selection as Disp. Region</source>
        <translation>選択を表示領域に</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Shift-drag on the raw image selects a rectangle (Shift with the right button clears it). With this box on, the selection is drawn in red as the display region.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;生画像上の Shift ドラッグで矩形を選択します（Shift と右ボタンで解除）。この欄をオンにすると、選択が表示領域として赤で描かれます。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Selection as Calc. Region</source>
        <translation>選択を計算領域に</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;With this box on, a Shift-drag selection on the raw image sets the display and calculation regions (its extent across the rotation axis) and the slice range (its extent along the axis); it is drawn in yellow-green.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;この欄をオンにすると、生画像上の Shift ドラッグ選択が表示領域と計算領域（回転軸に垂直な範囲）およびスライス範囲（軸に沿った範囲）を設定します。選択は黄緑で描かれます。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>CoR Trials</source>
        <translation>回転中心の試行</translation>
    </message>
    <message>
        <source>Auto CoR</source>
        <translation>回転中心を自動決定</translation>
    </message>
    <message>
        <source>Every data set finds its CoR on the current slice before it is reconstructed</source>
        <translation>各データセットは再構成の前に現在のスライスで回転中心を求めます</translation>
    </message>
</context>
<context>
    <name>CBarUI</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Fix</source>
        <translation>固定</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
</context>
<context>
    <name>CorTrialStrip</name>
    <message>
        <source>CoR Trials</source>
        <translation>回転中心の試行</translation>
    </message>
    <message>
        <source>Try the CoR ±</source>
        <translation>回転中心を ± で試行</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>Try</source>
        <translation>試行</translation>
    </message>
    <message>
        <source>CoR %1</source>
        <translation>回転中心 %1</translation>
    </message>
    <message>
        <source>Slice %1 at CoR %2: click to make it the CoR</source>
        <translation>スライス %1、回転中心 %2：クリックでこの回転中心にします</translation>
    </message>
</context>
<context>
    <name>CtCalc</name>
    <message>
        <source>CT Calc</source>
        <translation>CT 計算</translation>
    </message>
    <message>
        <source>Disp R.</source>
        <translation>表示範囲</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>Set To C. Region</source>
        <translation>計算範囲に設定</translation>
    </message>
    <message>
        <source>Cacl R.</source>
        <translation>計算範囲</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>At Once</source>
        <translation>一括</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent [sec]</source>
        <translation>所要 [秒]</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Slice No.</source>
        <translation>スライス番号</translation>
    </message>
</context>
<context>
    <name>CtCalc2Ui</name>
    <message>
        <source>CoR</source>
        <translation>回転中心</translation>
    </message>
</context>
<context>
    <name>CtDisp</name>
    <message>
        <source>CT display</source>
        <translation>CT 表示</translation>
    </message>
</context>
<context>
    <name>DispAWLayout</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
</context>
<context>
    <name>I0ofImage</name>
    <message>
        <source>I0 of Image</source>
        <translation>画像の I0</translation>
    </message>
    <message>
        <source>1.0</source>
        <translation>1.0</translation>
    </message>
    <message>
        <source>Calc from XAFS file</source>
        <translation>XAFS ファイルから計算</translation>
    </message>
    <message>
        <source>Eng. Ptn in Img F. Name :</source>
        <translation>画像ファイル名のエネルギー書式 :</translation>
    </message>
    <message>
        <source>####_####</source>
        <translation>####_####</translation>
    </message>
</context>
<context>
    <name>ImgDispWCBar</name>
    <message>
        <source>Image Display with Color Bar</source>
        <translation>カラーバー付き画像表示</translation>
    </message>
</context>
<context>
    <name>ImgDispWPV</name>
    <message>
        <source>Image Display with Position and Value</source>
        <translation>位置と値付き画像表示</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>Val:</source>
        <translation>値:</translation>
    </message>
    <message>
        <source>Scale Reset</source>
        <translation>表示リセット</translation>
    </message>
</context>
<context>
    <name>PopDockBase</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Pop/Dock</source>
        <translation>分離/格納</translation>
    </message>
</context>
<context>
    <name>ProcCtrl</name>
    <message>
        <source>Proc Control</source>
        <translation>処理設定</translation>
    </message>
    <message>
        <source>Rotation : </source>
        <translation>回転軸 : </translation>
    </message>
    <message>
        <source>  Ax</source>
        <translation>  軸</translation>
    </message>
    <message>
        <source>H</source>
        <translation>H</translation>
    </message>
    <message>
        <source>V</source>
        <translation>V</translation>
    </message>
    <message>
        <source>  Center</source>
        <translation>  中心</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Auto Update Sinogram</source>
        <translation>サイノグラム自動更新</translation>
    </message>
    <message>
        <source>Slice : </source>
        <translation>スライス : </translation>
    </message>
    <message>
        <source>Current</source>
        <translation>現在</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>2047</source>
        <translation>2047</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>記録</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Angle Offset [deg]</source>
        <translation>角度オフセット [度]</translation>
    </message>
    <message>
        <source>Threads</source>
        <translation>スレッド</translation>
    </message>
    <message>
        <source>/32</source>
        <translation>/32</translation>
    </message>
    <message>
        <source>Auto Exec</source>
        <translation>自動実行</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation>%2 で %1</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>検出</translation>
    </message>
    <message>
        <source>Find the CoR of the current slice from the data</source>
        <translation>現在のスライスの回転中心をデータから求めます</translation>
    </message>
</context>
<context>
    <name>SeekCtrl</name>
    <message>
        <source>SeekCtrl</source>
        <translation>SeekCtrl</translation>
    </message>
</context>
<context>
    <name>SelectAFile</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>選択</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 255, 233);</source>
        <translation>background-color: rgb(255, 255, 233);</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Img file (*.img)</source>
        <translation>Img ファイル (*.img)</translation>
    </message>
    <message>
        <source>Tiff file (*.tif *.tiff)</source>
        <translation>Tiff ファイル (*.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any file (* *.*)</source>
        <translation>全ファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>SelectAImgFile</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Exp Time</source>
        <translation>露光時間</translation>
    </message>
    <message>
        <source>0.05</source>
        <translation>0.05</translation>
    </message>
    <message>
        <source>[s]</source>
        <translation>[秒]</translation>
    </message>
    <message>
        <source>Show Img</source>
        <translation>画像表示</translation>
    </message>
    <message>
        <source>Mismatch image size</source>
        <translation>画像サイズの不一致</translation>
    </message>
</context>
<context>
    <name>SelectDataDir</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Pattern</source>
        <translation>パターン</translation>
    </message>
    <message>
        <source>ASR Std.</source>
        <translation>ASR 標準</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Sel. Data Dir.</source>
        <translation>データフォルダ選択</translation>
    </message>
</context>
<context>
    <name>SelectDataFiles</name>
    <message>
        <source>SelectDataFiles</source>
        <translation>SelectDataFiles</translation>
    </message>
    <message>
        <source>Data Select</source>
        <translation>データ選択</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新規</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>keep Conds.</source>
        <translation>条件保持</translation>
    </message>
    <message>
        <source>img</source>
        <translation>img</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Exp. Time[s]</source>
        <translation>露光時間[秒]</translation>
    </message>
    <message>
        <source>1.0</source>
        <translation>1.0</translation>
    </message>
    <message>
        <source>Multi.</source>
        <translation>複数回</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When Checked : The first file in the list will be read multitimes ( ex. 180 times )&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;チェック時 : リストの最初のファイルを何度も読み込みます（例 180 回）&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>180</source>
        <translation>180</translation>
    </message>
    <message>
        <source>background-color: rgb(235, 235, 235);</source>
        <translation>background-color: rgb(235, 235, 235);</translation>
    </message>
    <message>
        <source>Itex File (*.img)</source>
        <translation>Itex ファイル (*.img)</translation>
    </message>
    <message>
        <source>Tiff File (*.tif *.tiff)</source>
        <translation>Tiff ファイル (*.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>全ファイル (* *.*)</translation>
    </message>
    <message>
        <source>Loaded %1 of %2 files, rejected:</source>
        <translation>%2 ファイル中 %1 ファイルを読み込み、次を除外:</translation>
    </message>
</context>
<context>
    <name>SelectDir</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Sel. Dir</source>
        <translation>フォルダ選択</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 255, 232);</source>
        <translation>background-color: rgb(255, 255, 232);</translation>
    </message>
</context>
<context>
    <name>Sinogram</name>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>CoR</source>
        <translation>回転中心</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Gen Image</source>
        <translation>画像生成</translation>
    </message>
    <message>
        <source>Gen Fou. Sinogram</source>
        <translation>フーリエ・サイノグラム生成</translation>
    </message>
</context>
<context>
    <name>XafsBatch</name>
    <message>
        <source>Data Loading</source>
        <translation>データ読込中</translation>
    </message>
    <message>
        <source>Calculating</source>
        <translation>計算中</translation>
    </message>
    <message>
        <source>Finished Calc.</source>
        <translation>計算終了</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>終了</translation>
    </message>
</context>
</TS>
