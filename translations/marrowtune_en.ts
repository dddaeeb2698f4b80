<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>mt::AboutWindow</name>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Marrowtune の開発者たち</source>
        <translation>The Marrowtune developers</translation>
    </message>
    <message>
        <source>2026年12月</source>
        <translation>December 2026</translation>
    </message>
</context>
<context>
    <name>mt::AppShell</name>
    <message>
        <source>前回使ったドライブが用意されていません</source>
        <translation>The drive used last time is not available</translation>
    </message>
    <message>
        <source>設定を保存できませんでした。次回の起動では前回の設定が使われます。</source>
        <translation>Could not save the settings. The next start will use the previous ones.</translation>
    </message>
</context>
<context>
    <name>mt::AudioStatusLine</name>
    <message>
        <source>モノラル</source>
        <translation>mono</translation>
    </message>
    <message>
        <source>ステレオ</source>
        <translation>stereo</translation>
    </message>
    <message>
        <source>サウンド出力なし（クリックで設定）</source>
        <translation>No sound output (click to set up)</translation>
    </message>
    <message>
        <source>出力停止・再接続中… アンダーラン %1</source>
        <translation>Output stopped, reconnecting… underruns %1</translation>
    </message>
    <message>
        <source>%1 %2/%3・遅延 %4 ms・アンダーラン %5・負荷 %6%</source>
        <translation>%1 %2/%3 · latency %4 ms · underruns %5 · load %6%</translation>
    </message>
    <message>
        <source>・%1 不可</source>
        <translation> · %1 refused</translation>
    </message>
    <message>
        <source>サウンドデバイスを開けませんでした。クリックすると出力の設定を開きます。</source>
        <translation>Could not open the sound device. Click to open the output settings.</translation>
    </message>
    <message>
        <source>サウンドサーバーとの接続が切れました。1 秒ごとに開き直しています。</source>
        <translation>Lost the connection to the sound server. Reopening every second.</translation>
    </message>
    <message>
        <source>オーディオシステム: %1</source>
        <translation>Audio system: %1</translation>
    </message>
    <message>
        <source>デバイスのレート: %1</source>
        <translation>Device rate: %1</translation>
    </message>
    <message>
        <source>ブロック: %1 フレーム（%2 ms）</source>
        <translation>Block: %1 frames (%2 ms)</translation>
    </message>
    <message>
        <source>遅延: %1 ms</source>
        <translation>Latency: %1 ms</translation>
    </message>
    <message>
        <source>負荷（直近 1 秒の最大）: %1%</source>
        <translation>Load (peak of the last second): %1%</translation>
    </message>
    <message>
        <source>アンダーラン（音切れ）: %1</source>
        <translation>Underruns (dropouts): %1</translation>
    </message>
    <message>
        <source>出力フォーマット: %1</source>
        <translation>Output format: %1</translation>
    </message>
    <message>
        <source>%1 はデバイスが受け付けないため、前の形式で再生しています。</source>
        <translation>The device refuses %1, so playback stays in the previous format.</translation>
    </message>
    <message>
        <source>クリックすると出力の設定を開きます。</source>
        <translation>Click to open the output settings.</translation>
    </message>
    <message>
        <source>PulseAudio 22.05 kHz/128・遅延 13.0 ms・アンダーラン 000・負荷 100%</source>
        <translation>PulseAudio 22.05 kHz/128 · latency 13.0 ms · underruns 000 · load 100%</translation>
    </message>
</context>
<context>
    <name>mt::BpmCounterWindow</name>
    <message>
        <source>Cで測定開始。Vで測定</source>
        <translation>C starts, V measures</translation>
    </message>
    <message>
        <source>Zでリセット</source>
        <translation>Z resets</translation>
    </message>
    <message>
        <source>カウンター</source>
        <translation>Counter</translation>
    </message>
    <message>
        <source>BPMを直接入力</source>
        <translation>Type the BPM</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>mt::CdCommands</name>
    <message>
        <source>エラー@%1</source>
        <translation>Error@%1</translation>
    </message>
    <message>
        <source>エラー文字列を取得することができません！！</source>
        <translation>Cannot get the error text!!</translation>
    </message>
</context>
<context>
    <name>mt::CdPanel</name>
    <message>
        <source>ループスタートのセット</source>
        <translation>Set loop start</translation>
    </message>
    <message>
        <source>ループエンドのセット</source>
        <translation>Set loop end</translation>
    </message>
    <message>
        <source>基準</source>
        <translation>Ref</translation>
    </message>
    <message>
        <source>BPMカウンター(&amp;X)</source>
        <translation>BPM counte&amp;r</translation>
    </message>
    <message>
        <source>BPM測定（もちろん手動)</source>
        <translation>Measure the BPM (by hand, of course)</translation>
    </message>
    <message>
        <source>CD 確認中</source>
        <translation>CD checking</translation>
    </message>
</context>
<context>
    <name>mt::CollectSet</name>
    <message>
        <source>%1 を読み込めません。</source>
        <translation>Cannot read %1. </translation>
    </message>
    <message>
        <source>%1 にファイルを作成できません。</source>
        <translation>Cannot create a file in %1. </translation>
    </message>
    <message>
        <source>中止しました。</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>%1 に書き込めません。</source>
        <translation>Cannot write to %1. </translation>
    </message>
    <message>
        <source>%1 を作成できません。</source>
        <translation>Cannot create %1. </translation>
    </message>
    <message>
        <source>%1 に空いている名前がありません。</source>
        <translation>No free name left in %1.</translation>
    </message>
    <message>
        <source>%1 が見つからないため、まとめて保存できません。</source>
        <translation>%1 is missing, so the set cannot be collected.</translation>
    </message>
    <message>
        <source>フォルダ %1 を作成できません。</source>
        <translation>Cannot create the folder %1.</translation>
    </message>
</context>
<context>
    <name>mt::CollectWindow</name>
    <message>
        <source>中止</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>セットをまとめて保存</source>
        <translation>Collect and save set</translation>
    </message>
    <message>
        <source>サンプルをセットのフォルダにコピーしています。</source>
        <translation>Copying the samples into the set&apos;s folder.</translation>
    </message>
</context>
<context>
    <name>mt::EditorRoundTrip</name>
    <message>
        <source>波形編集ソフトが指定されていません。設定 - 参照設定 で使いたい波形編集ソフトを指定してください</source>
        <translation>No wave editor is set. Choose one in Settings - Paths.</translation>
    </message>
    <message>
        <source>波形編集ソフトが開けません、参照設定を正しく行ってください。</source>
        <translation>Cannot open the wave editor. Please check Settings - Paths.</translation>
    </message>
</context>
<context>
    <name>mt::EditorWaitWindow</name>
    <message>
        <source>Marrowtune - 再開待機中</source>
        <translation>Marrowtune - waiting to resume</translation>
    </message>
    <message>
        <source>波形編集ソフトや、音声再生プログラムを使っている間は、Marrowtuneは操作できません。</source>
        <translation>While the wave editor or another sound program is in use, Marrowtune cannot be used.</translation>
    </message>
    <message>
        <source>Brenlo 再開</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Brenlo終了</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>mt::ExternalPrograms</name>
    <message>
        <source>ボリュームコントロールが見つかりません。「設定」－「参照設定」でボリュームコントロールの場所を指定してください｡ </source>
        <translation>Volume control not found. Set where it is in &quot;Settings&quot; - &quot;Paths&quot;. </translation>
    </message>
    <message>
        <source>ボリュームコントロールが開けません。「設定」－「参照設定」で場所を指定してください｡ </source>
        <translation>Cannot open the volume control. Set where it is in &quot;Settings&quot; - &quot;Paths&quot;. </translation>
    </message>
</context>
<context>
    <name>mt::FileBrowser</name>
    <message>
        <source>ダブルクリックでプレビュー</source>
        <translation>Double-click to preview</translation>
    </message>
    <message>
        <source>「%1」をごみ箱に移動しますか？</source>
        <translation>Move &quot;%1&quot; to the trash?</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>mt::JackMidiClient</name>
    <message>
        <source>JACKサーバーに接続できません (status %1)</source>
        <translation>Cannot connect to the JACK server (status %1)</translation>
    </message>
    <message>
        <source>JACKのMIDIポート %1 を作れません</source>
        <translation>Cannot create the JACK MIDI port %1</translation>
    </message>
</context>
<context>
    <name>mt::KeyRemapWindow</name>
    <message>
        <source>トラック1</source>
        <translation>Track 1</translation>
    </message>
    <message>
        <source>トラック2</source>
        <translation>Track 2</translation>
    </message>
    <message>
        <source>トラック3</source>
        <translation>Track 3</translation>
    </message>
    <message>
        <source>トラック4</source>
        <translation>Track 4</translation>
    </message>
    <message>
        <source>トラック5</source>
        <translation>Track 5</translation>
    </message>
    <message>
        <source>トラック6</source>
        <translation>Track 6</translation>
    </message>
    <message>
        <source>トラック7</source>
        <translation>Track 7</translation>
    </message>
    <message>
        <source>トラック8</source>
        <translation>Track 8</translation>
    </message>
    <message>
        <source>全体ミュート</source>
        <translation>Mute all</translation>
    </message>
    <message>
        <source>選択トラックミュート</source>
        <translation>Mute selected track</translation>
    </message>
    <message>
        <source>CDミュート</source>
        <translation>Mute CD</translation>
    </message>
    <message>
        <source>MIDIミュート</source>
        <translation>Mute MIDI</translation>
    </message>
    <message>
        <source>CD一時停止</source>
        <translation>Pause CD</translation>
    </message>
    <message>
        <source>一匹狼に加える</source>
        <translation>Add to lone wolf</translation>
    </message>
    <message>
        <source>一匹狼モード</source>
        <translation>Lone wolf mode</translation>
    </message>
    <message>
        <source>パン左</source>
        <translation>Pan left</translation>
    </message>
    <message>
        <source>パン中央</source>
        <translation>Pan centre</translation>
    </message>
    <message>
        <source>パン右</source>
        <translation>Pan right</translation>
    </message>
    <message>
        <source>次のトラック</source>
        <translation>Next track</translation>
    </message>
    <message>
        <source>全停止（パニック）</source>
        <translation>Stop all (panic)</translation>
    </message>
    <message>
        <source>キー番号 %1</source>
        <translation>Key code %1</translation>
    </message>
    <message>
        <source>キー割り当て</source>
        <translation>Key assignment</translation>
    </message>
    <message>
        <source>変更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>キーを押す…</source>
        <translation>Press a key…</translation>
    </message>
    <message>
        <source>「変更」の次に押したキーが割り当てられます（Escで取り消し）</source>
        <translation>After &quot;Change&quot;, the next key pressed is assigned (Esc cancels)</translation>
    </message>
    <message>
        <source>初期設定に戻す</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>「%1」は全停止（パニック）のただ一つのキーです。先に全停止へ別のキーを割り当ててください。</source>
        <translation>&quot;%1&quot; is the only key for Stop all (panic). Assign another key to Stop all first.</translation>
    </message>
    <message>
        <source>「%1」は「%2」のキーです。「%3」に移しますか？</source>
        <translation>&quot;%1&quot; is the key for &quot;%2&quot;. Move it to &quot;%3&quot;?</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>mt::MainWindow</name>
    <message>
        <source>MIDIコントローラ(&amp;M)</source>
        <translation>&amp;MIDI controller</translation>
    </message>
    <message>
        <source>キー割り当て(&amp;K)</source>
        <translation>&amp;Key assignment</translation>
    </message>
    <message>
        <source>波形編集ソフト起動</source>
        <translation>Open the wave editor</translation>
    </message>
    <message>
        <source>サウンドデバイスがありません（トラックの音は出ません）</source>
        <translation>No sound device (the tracks are silent)</translation>
    </message>
    <message>
        <source>テンポと小節内の拍（クリックでテンポ同期）</source>
        <translation>Tempo and beat in the bar (click for tempo sync)</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>新規作成(&amp;N)</source>
        <translation>&amp;New</translation>
    </message>
    <message>
        <source>開く(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>上書き保存(&amp;V)</source>
        <translation>Sa&amp;ve</translation>
    </message>
    <message>
        <source>名前を付けて保存(&amp;S)</source>
        <translation>&amp;Save as</translation>
    </message>
    <message>
        <source>セットをまとめて保存(&amp;C)...</source>
        <translation>&amp;Collect and save set...</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>プレイモードへ(&amp;P)</source>
        <translation>&amp;Play mode</translation>
    </message>
    <message>
        <source>カウンター(&amp;X)</source>
        <translation>Counte&amp;r</translation>
    </message>
    <message>
        <source>メディアコントローラー(&amp;M)</source>
        <translation>&amp;Media controller</translation>
    </message>
    <message>
        <source>ボリュームコントロール(&amp;B)</source>
        <translation>&amp;Volume control</translation>
    </message>
    <message>
        <source>機能(&amp;K)</source>
        <translation>F&amp;unctions</translation>
    </message>
    <message>
        <source>テンポ同期(&amp;T)</source>
        <translation>&amp;Tempo sync</translation>
    </message>
    <message>
        <source>波形編集（外部プログラム）(&amp;E)</source>
        <translation>Wave &amp;editor (external program)</translation>
    </message>
    <message>
        <source>ファイル削除(&amp;D)</source>
        <translation>&amp;Delete file</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>音質(&amp;O)</source>
        <translation>S&amp;ound quality</translation>
    </message>
    <message>
        <source>出力(&amp;A)</source>
        <translation>&amp;Audio output</translation>
    </message>
    <message>
        <source>参照設定(&amp;P)</source>
        <translation>&amp;Paths</translation>
    </message>
    <message>
        <source>その他の設定(&amp;S)</source>
        <translation>Other &amp;settings</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Marrowtuneヘルプ(&amp;D)</source>
        <translation>Marrowtune &amp;help</translation>
    </message>
    <message>
        <source>サウンドを集めに行く（webサイト)(&amp;S)</source>
        <translation>Find &amp;sounds (website)</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;V)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>ファイル削除</source>
        <translation>Delete file</translation>
    </message>
    <message>
        <source>一匹狼</source>
        <translation>Lone wolf</translation>
    </message>
    <message>
        <source>チョークグループ</source>
        <translation>Choke group</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>1（一匹狼）</source>
        <translation>1 (lone wolf)</translation>
    </message>
    <message>
        <source>WAVファイル情報表示</source>
        <translation>WAV file info</translation>
    </message>
    <message>
        <source>クオンタイズ</source>
        <translation>Quantise</translation>
    </message>
    <message>
        <source>なし（押したとき）</source>
        <translation>None (on press)</translation>
    </message>
    <message>
        <source>1拍</source>
        <translation>1 beat</translation>
    </message>
    <message>
        <source>1小節</source>
        <translation>1 bar</translation>
    </message>
    <message>
        <source>2小節</source>
        <translation>2 bars</translation>
    </message>
    <message>
        <source>4小節</source>
        <translation>4 bars</translation>
    </message>
    <message>
        <source>グリッドで停止</source>
        <translation>Stop on the grid</translation>
    </message>
    <message>
        <source>音程を保つ</source>
        <translation>Keep pitch</translation>
    </message>
</context>
<context>
    <name>mt::MciErrors</name>
    <message>
        <source>コマンドのパラメータを認識できません。</source>
        <translation>Unrecognised command parameter.</translation>
    </message>
    <message>
        <source>コマンドを認識できません。</source>
        <translation>Unrecognised command.</translation>
    </message>
    <message>
        <source>CD の読み取りに失敗しました。</source>
        <translation>Could not read the CD.</translation>
    </message>
    <message>
        <source>指定されたデバイスはオープンされていません。</source>
        <translation>The device is not open.</translation>
    </message>
    <message>
        <source>数値のパラメータが正しくありません。</source>
        <translation>A number parameter is wrong.</translation>
    </message>
    <message>
        <source>コマンドに必要なパラメータがありません。</source>
        <translation>The command lacks a parameter.</translation>
    </message>
    <message>
        <source>デバイスの準備ができていません。ディスクが入っているか確かめてください。</source>
        <translation>The device is not ready. Check that a disc is in.</translation>
    </message>
    <message>
        <source>指定された値が範囲外です。</source>
        <translation>The value is out of range.</translation>
    </message>
    <message>
        <source>デバイスは既にオープンされています。</source>
        <translation>The device is already open.</translation>
    </message>
    <message>
        <source>指定された時間形式は使えません。</source>
        <translation>That time format cannot be used.</translation>
    </message>
    <message>
        <source>返される文字列が長すぎて、バッファに入りません。</source>
        <translation>The reply is too long for the buffer.</translation>
    </message>
    <message>
        <source>CD ドライブが見つからず、ディスクイメージも選ばれていません。</source>
        <translation>No CD drive was found and no disc image is chosen.</translation>
    </message>
    <message>
        <source>ディスクイメージのファイルが見つかりません。</source>
        <translation>The disc image file is missing.</translation>
    </message>
    <message>
        <source>キューシートと同じ名前の .bin ファイルが見つかりません。</source>
        <translation>No .bin file with the cue sheet&apos;s name was found.</translation>
    </message>
    <message>
        <source>キューシートが WAVE ファイルを指しています。読めるのは、音声が同じ名前の .bin ファイル1つに入ったキューシートだけです。</source>
        <translation>The cue sheet points to WAVE files. Only cue sheets whose audio is in one .bin file of the same name can be read.</translation>
    </message>
    <message>
        <source>ディスクイメージが壊れているか、読み取れない形式です。</source>
        <translation>The disc image is damaged or in a format that cannot be read.</translation>
    </message>
    <message>
        <source>ディスクイメージを確かめるプログラム (marrowtune-cdprobe) がインストールされていません。</source>
        <translation>The program that checks disc images (marrowtune-cdprobe) is not installed.</translation>
    </message>
    <message>
        <source>ディスクイメージを確認中です。</source>
        <translation>Checking the disc image.</translation>
    </message>
</context>
<context>
    <name>mt::MidiFilePlayer</name>
    <message>
        <source>巻き戻し時にエラー発生</source>
        <translation>Error while rewinding</translation>
    </message>
    <message>
        <source>GETINFOMIDIでエラー発生</source>
        <translation>Error in GETINFOMIDI</translation>
    </message>
    <message>
        <source>MIDIデバイスが開けません。</source>
        <translation>Cannot open the MIDI device.</translation>
    </message>
</context>
<context>
    <name>mt::MidiPanel</name>
    <message>
        <source>MIDIファイルを開く</source>
        <translation>Open MIDI file</translation>
    </message>
    <message>
        <source>基準</source>
        <translation>Ref</translation>
    </message>
    <message>
        <source>♪＝</source>
        <translation>♪=</translation>
    </message>
    <message>
        <source>BPM変更</source>
        <translation>Change BPM</translation>
    </message>
    <message>
        <source>MIDIファイル (*.mid)|*.mid|</source>
        <translation>MIDI files (*.mid)|*.mid|</translation>
    </message>
</context>
<context>
    <name>mt::MidiPerformance</name>
    <message>
        <source>MIDI: 途切れたSysExを捨てました（計 %1 件）</source>
        <translation>MIDI: dropped a broken SysEx (%1 in all)</translation>
    </message>
</context>
<context>
    <name>mt::MidiPorts</name>
    <message>
        <source>JACKのライブラリが応答しません（/dev/shm/jack_db-%1 のロックが残っています）</source>
        <translation>The JACK library does not answer (a lock is left in /dev/shm/jack_db-%1)</translation>
    </message>
    <message>
        <source>JACKサーバーが動いていません</source>
        <translation>The JACK server is not running</translation>
    </message>
    <message>
        <source>MIDI入力はオフです: %1</source>
        <translation>MIDI input is off: %1</translation>
    </message>
    <message>
        <source>MIDI入力はオフです: %1、ALSAシーケンサーもありません（%2 がありません）</source>
        <translation>MIDI input is off: %1, and there is no ALSA sequencer (%2 is missing)</translation>
    </message>
    <message>
        <source>JACKのライブラリが応答せず</source>
        <translation>the JACK library does not answer</translation>
    </message>
    <message>
        <source>JACKサーバーが動いておらず</source>
        <translation>the JACK server is not running</translation>
    </message>
    <message>
        <source>MIDI入力はオフです: ALSAシーケンサーがありません（%1 がありません）</source>
        <translation>MIDI input is off: there is no ALSA sequencer (%1 is missing)</translation>
    </message>
    <message>
        <source>MIDI入力: JACKサーバーが止まりました。戻るのを待っています</source>
        <translation>MIDI input: the JACK server stopped. Waiting for it to return</translation>
    </message>
</context>
<context>
    <name>mt::MidiSetupWindow</name>
    <message>
        <source>トラック%1 発音</source>
        <translation>Track %1 play</translation>
    </message>
    <message>
        <source>トラック%1 音量</source>
        <translation>Track %1 volume</translation>
    </message>
    <message>
        <source>トラック%1 パン</source>
        <translation>Track %1 pan</translation>
    </message>
    <message>
        <source>トラック%1 速度</source>
        <translation>Track %1 speed</translation>
    </message>
    <message>
        <source>全停止（パニック）</source>
        <translation>Stop all (panic)</translation>
    </message>
    <message>
        <source>全ch</source>
        <translation>all ch</translation>
    </message>
    <message>
        <source>ノート %1 %2</source>
        <translation>Note %1 %2</translation>
    </message>
    <message>
        <source> エンコーダ</source>
        <translation> encoder</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>MIDIコントローラ</source>
        <translation>MIDI controller</translation>
    </message>
    <message>
        <source>接続するポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>MIDIシステム</source>
        <translation>MIDI system</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>ベロシティ</source>
        <translation>Velocity</translation>
    </message>
    <message>
        <source>固定</source>
        <translation>Fixed</translation>
    </message>
    <message>
        <source>直線</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>やわらか</source>
        <translation>Soft</translation>
    </message>
    <message>
        <source>幅(dB)</source>
        <translation>Range (dB)</translation>
    </message>
    <message>
        <source>学習するノブ</source>
        <translation>Knobs to learn</translation>
    </message>
    <message>
        <source>位置（普通のノブ）</source>
        <translation>Position (plain knob)</translation>
    </message>
    <message>
        <source>エンコーダ（1..63 上 / 127..65 下）</source>
        <translation>Encoder (1..63 up / 127..65 down)</translation>
    </message>
    <message>
        <source>エンコーダ（65.. 上 / ..63 下）</source>
        <translation>Encoder (65.. up / ..63 down)</translation>
    </message>
    <message>
        <source>エンコーダ（1..63 上 / 65..127 下）</source>
        <translation>Encoder (1..63 up / 65..127 down)</translation>
    </message>
    <message>
        <source>学習</source>
        <translation>Learn</translation>
    </message>
    <message>
        <source>待機中…</source>
        <translation>Waiting…</translation>
    </message>
    <message>
        <source>初期設定に戻す</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>（ハードウェアすべて）</source>
        <translation>(all hardware)</translation>
    </message>
</context>
<context>
    <name>mt::MissingFilesWindow</name>
    <message>
        <source>サウンドファイル</source>
        <translation>Sound files</translation>
    </message>
    <message>
        <source>すべてのファイル</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>見つからないファイル</source>
        <translation>Missing files</translation>
    </message>
    <message>
        <source>トラック</source>
        <translation>Track</translation>
    </message>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>保存されていた場所</source>
        <translation>Saved location</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>State</translation>
    </message>
    <message>
        <source>フォルダを検索...</source>
        <translation>Search a folder...</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1 件を調べました</source>
        <translation>%1 files checked</translation>
    </message>
    <message>
        <source>ファイルを選択...</source>
        <translation>Choose file...</translation>
    </message>
    <message>
        <source>見つかりません</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>候補が %1 件</source>
        <translation>%1 candidates</translation>
    </message>
    <message>
        <source>割り当てました</source>
        <translation>Assigned</translation>
    </message>
    <message>
        <source>すべて見つかりました</source>
        <translation>All found</translation>
    </message>
    <message>
        <source>%1 トラックのファイルが見つかりません</source>
        <translation>Files of %1 tracks are missing</translation>
    </message>
    <message>
        <source>探すフォルダを選択</source>
        <translation>Choose a folder to search</translation>
    </message>
    <message>
        <source>0 件を調べました</source>
        <translation>0 files checked</translation>
    </message>
    <message>
        <source>中止しました（%1 件を調べました）</source>
        <translation>Cancelled (%1 files checked)</translation>
    </message>
    <message>
        <source>%1 件を調べました。</source>
        <translation>%1 files checked.</translation>
    </message>
    <message>
        <source>トラック %1 のファイルを選択</source>
        <translation>Choose the file for track %1</translation>
    </message>
</context>
<context>
    <name>mt::MixPanel</name>
    <message>
        <source>テンポ合わせ</source>
        <translation>Fit tempo</translation>
    </message>
</context>
<context>
    <name>mt::OscControl</name>
    <message>
        <source>停止中</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>%1:%2 で受信中</source>
        <translation>Listening on %1:%2</translation>
    </message>
    <message>
        <source>受信できません：ポート %1 は他のプログラムが使っています</source>
        <translation>Cannot listen: another program uses port %1</translation>
    </message>
    <message>
        <source>受信できません：%1:%2（%3）</source>
        <translation>Cannot listen: %1:%2 (%3)</translation>
    </message>
</context>
<context>
    <name>mt::OscWindow</name>
    <message>
        <source>警告：同じネットワークの誰でもこのプログラムを操作できます</source>
        <translation>Warning: anyone on the same network can control this program</translation>
    </message>
    <message>
        <source>OSC で操作する</source>
        <translation>Control by OSC</translation>
    </message>
    <message>
        <source>すべてのネットワークから受け付ける</source>
        <translation>Accept from every network</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>State</translation>
    </message>
    <message>
        <source>OSC:全ネットワーク</source>
        <translation>OSC: all networks</translation>
    </message>
</context>
<context>
    <name>mt::OtherSettingsWindow</name>
    <message>
        <source>その他の設定</source>
        <translation>Other settings</translation>
    </message>
    <message>
        <source>プレビューする時にループ再生をする</source>
        <translation>Loop the preview</translation>
    </message>
    <message>
        <source>終了時にＣＤを停止する</source>
        <translation>Stop the CD on exit</translation>
    </message>
    <message>
        <source>Windowサイズを小さくする（解像度800*600用）</source>
        <translation>Small window (for 800x600 screens)</translation>
    </message>
    <message>
        <source>キャンセル(&amp;N)</source>
        <translation>Ca&amp;ncel</translation>
    </message>
</context>
<context>
    <name>mt::OutputWindow</name>
    <message>
        <source>Marrowtune-出力の設定</source>
        <translation>Marrowtune - Audio output</translation>
    </message>
    <message>
        <source>自動（JACK → PulseAudio → ALSA）</source>
        <translation>Auto (JACK → PulseAudio → ALSA)</translation>
    </message>
    <message>
        <source>トラックごとに出力する（JACK）</source>
        <translation>One output per track (JACK)</translation>
    </message>
    <message>
        <source>main L/R に全体のミックス、track 1 L/R 〜 track 8 L/R に各トラックの音</source>
        <translation>The whole mix on main L/R, each track on track 1 L/R to track 8 L/R</translation>
    </message>
    <message>
        <source>JACK でのみ使えます</source>
        <translation>JACK only</translation>
    </message>
    <message>
        <source>キャンセル(&amp;N)</source>
        <translation>Ca&amp;ncel</translation>
    </message>
    <message>
        <source>オーディオシステム</source>
        <translation>Audio system</translation>
    </message>
    <message>
        <source>デバイス</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>ブロック</source>
        <translation>Block</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>既定のデバイス</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>（見つかりません）</source>
        <translation> (not found)</translation>
    </message>
    <message>
        <source>遅延は JACK サーバーの周期で決まります</source>
        <translation>The JACK server&apos;s period sets the latency</translation>
    </message>
    <message>
        <source>サーバーの周期 %1 フレーム（%2）・ミックスのブロック %3 フレーム（%4）・キーから音まで 約 %5</source>
        <translation>Server period %1 frames (%2) · mix block %3 frames (%4) · key to sound about %5</translation>
    </message>
    <message>
        <source>（遅延 約 %1）</source>
        <translation> (latency about %1)</translation>
    </message>
    <message>
        <source>キーから音まで 約 %1</source>
        <translation>Key to sound about %1</translation>
    </message>
    <message>
        <source>PipeWire に周期 %1 フレーム（%2）を求めています・いまの周期 %3 フレーム・キーから音まで 約 %4</source>
        <translation>Asking PipeWire for a period of %1 frames (%2) · period now %3 frames · key to sound about %4</translation>
    </message>
</context>
<context>
    <name>mt::Performance</name>
    <message>
        <source>セッティングファイル (*.mrw)|*.mrw|</source>
        <translation>Setting files (*.mrw)|*.mrw|</translation>
    </message>
    <message>
        <source>%1 に保存できませんでした。</source>
        <translation>Could not save %1. </translation>
    </message>
    <message>
        <source>%1 は既に存在します。
上書きしますか？</source>
        <translation>%1 already exists.
Replace it?</translation>
    </message>
    <message>
        <source>すべてのファイル (*.*)|*.*|</source>
        <translation>All files (*.*)|*.*|</translation>
    </message>
    <message>
        <source>%1は Marrowtune で使用できるファイル形式ではありません</source>
        <translation>%1 is not a file Marrowtune can use</translation>
    </message>
    <message>
        <source>付随ファイル %1 が壊れているため、クオンタイズなどの設定を既定値にしました。</source>
        <translation>The companion file %1 is damaged, so quantise and the other settings in it are back to their defaults.</translation>
    </message>
    <message>
        <source>まとめて保存の最中です。</source>
        <translation>Collect and save is already running.</translation>
    </message>
    <message>
        <source>まとめて保存を中止しました。</source>
        <translation>Collect and save was cancelled.</translation>
    </message>
    <message>
        <source>まとめて保存の間にセットが替わったため、セットは保存していません。</source>
        <translation>The set changed while collecting, so it was not saved.</translation>
    </message>
</context>
<context>
    <name>mt::PlayModeWindow</name>
    <message>
        <source>戻る</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>一匹狼(F3)</source>
        <translation>Lone wolf(F3)</translation>
    </message>
</context>
<context>
    <name>mt::PreferenceWindow</name>
    <message>
        <source>参照設定</source>
        <translation>Paths</translation>
    </message>
    <message>
        <source>ボリュームコントロールの場所 ：</source>
        <translation>Volume control:</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>「ボリュームコントロール」が上手く開かない時に設定してください。</source>
        <translation>Set this when &quot;Volume control&quot; does not open.</translation>
    </message>
    <message>
        <source>波形編集ソフト（Cool Edit ,Gold Wave,波平 etc.)の場所：</source>
        <translation>Wave editor (Audacity, ocenaudio, etc.):</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>(CDドライブ)</source>
        <translation>(CD drive)</translation>
    </message>
    <message>
        <source>ディスクイメージ (*.cue *.toc *.nrg)|*.cue;*.toc;*.nrg|</source>
        <translation>Disc images (*.cue *.toc *.nrg)|*.cue;*.toc;*.nrg|</translation>
    </message>
    <message>
        <source>CDの読み込み元（空欄ならCDドライブ、またはディスクイメージ）：</source>
        <translation>CD source (empty for the CD drive, or a disc image):</translation>
    </message>
    <message>
        <source>MIDIの音色（SoundFont）：</source>
        <translation>MIDI sounds (SoundFont):</translation>
    </message>
    <message>
        <source>すべてのファイル (*.*)|*.*|</source>
        <translation>All files (*.*)|*.*|</translation>
    </message>
    <message>
        <source>ボリュームコントロール (*.exe)|*.exe|</source>
        <translation>Volume control (*.exe)|*.exe|</translation>
    </message>
    <message>
        <source>波形編集ソフト (*.exe)|*.exe|</source>
        <translation>Wave editor (*.exe)|*.exe|</translation>
    </message>
</context>
<context>
    <name>mt::RecoveryKeeper</name>
    <message>
        <source>保存されていなかったセットの復元用ファイルが壊れていたため、開きませんでした。</source>
        <translation>The recovery file of an unsaved set was damaged, so it was not opened.</translation>
    </message>
    <message>
        <source>前回、保存されずに終わったセット「%1」があります。
復元しますか？</source>
        <translation>The set &quot;%1&quot; was not saved when the program last ended.
Restore it?</translation>
    </message>
</context>
<context>
    <name>mt::SaveChangesWindow</name>
    <message>
        <source>ファイルは変更されています。保存しますか？</source>
        <translation>The file has changed. Save it?</translation>
    </message>
    <message>
        <source>%1  は変更されています。変更を保存しますか？</source>
        <translation>%1 has changed. Save the changes?</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>mt::SessionGlue</name>
    <message>
        <source>セットは保存しましたが、サンプルをセッションのフォルダにまとめられませんでした: %1</source>
        <translation>The set is saved, but its samples could not be collected into the session&apos;s folder: %1</translation>
    </message>
    <message>
        <source>セッション: %1</source>
        <translation>Session: %1</translation>
    </message>
</context>
<context>
    <name>mt::SettingFile</name>
    <message>
        <source>書き込みが最後まで終わりませんでした。</source>
        <translation>The write did not finish.</translation>
    </message>
</context>
<context>
    <name>mt::SoundDevice</name>
    <message>
        <source>Direct Soundインターフェースが作成できません。</source>
        <translation>Cannot create the sound interface.</translation>
    </message>
    <message>
        <source>フォーマットを設定できません。</source>
        <translation>Cannot set the format.</translation>
    </message>
    <message>
        <source>元の音がありません</source>
        <translation>The original sound is missing</translation>
    </message>
</context>
<context>
    <name>mt::SoundLibrary</name>
    <message>
        <source>これ以上サウンドバッファを作成できません。</source>
        <translation>Cannot create any more sound buffers.</translation>
    </message>
</context>
<context>
    <name>mt::SoundQualityWindow</name>
    <message>
        <source>Marrowtune-音質の設定</source>
        <translation>Marrowtune - Sound quality</translation>
    </message>
    <message>
        <source>サンプルレート</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>44.1kHz (CDと同等)</source>
        <translation>44.1kHz (CD)</translation>
    </message>
    <message>
        <source>22.05kHz (普通）</source>
        <translation>22.05kHz (fair)</translation>
    </message>
    <message>
        <source>11.025kHz （良くない）</source>
        <translation>11.025kHz (poor)</translation>
    </message>
    <message>
        <source>ビット数</source>
        <translation>Bits</translation>
    </message>
    <message>
        <source>16bit （良い）</source>
        <translation>16bit (good)</translation>
    </message>
    <message>
        <source>8bit (良くない）</source>
        <translation>8bit (poor)</translation>
    </message>
    <message>
        <source>ステ/モノ</source>
        <translation>Stereo/mono</translation>
    </message>
    <message>
        <source>キャンセル(&amp;N)</source>
        <translation>Ca&amp;ncel</translation>
    </message>
</context>
<context>
    <name>mt::StretchRender</name>
    <message>
        <source>速さか音程の値が正しくありません</source>
        <translation>The speed or pitch value is wrong</translation>
    </message>
    <message>
        <source>この速さでは音が長くなりすぎるため、音程を保てません</source>
        <translation>At this speed the sound gets too long to keep its pitch</translation>
    </message>
    <message>
        <source>メモリが足りないため、音程を保てません</source>
        <translation>Not enough memory to keep the pitch</translation>
    </message>
</context>
<context>
    <name>mt::SyncWindow</name>
    <message>
        <source>手入力</source>
        <translation>Typed</translation>
    </message>
    <message>
        <source>タップ</source>
        <translation>Tap</translation>
    </message>
    <message>
        <source>テンポ合わせの基準</source>
        <translation>Fit-tempo reference</translation>
    </message>
    <message>
        <source>MIDIクロック</source>
        <translation>MIDI clock</translation>
    </message>
    <message>
        <source>JACKトランスポート</source>
        <translation>JACK transport</translation>
    </message>
    <message>
        <source>・自走</source>
        <translation> · free</translation>
    </message>
    <message>
        <source>・停止</source>
        <translation> · stopped</translation>
    </message>
    <message>
        <source>ピアがいないため自走中</source>
        <translation>running free (no peers)</translation>
    </message>
    <message>
        <source>見つからないため自走中</source>
        <translation>running free (not found)</translation>
    </message>
    <message>
        <source>停止中（テンポのみ追従）</source>
        <translation>stopped (following the tempo only)</translation>
    </message>
    <message>
        <source>追従中</source>
        <translation>following</translation>
    </message>
    <message>
        <source>テンポ同期</source>
        <translation>Tempo sync</translation>
    </message>
    <message>
        <source>BPMカウンターのOKで決まります</source>
        <translation>Set by OK in the BPM counter</translation>
    </message>
    <message>
        <source>CDまたはMIDIの小節の長さに従います</source>
        <translation>Follows the bar length of the CD or the MIDI song</translation>
    </message>
    <message>
        <source>同じネットワークのLink対応機器とテンポと小節を合わせます（選ぶとLinkに参加）</source>
        <translation>Shares tempo and bar with Link devices on the same network (choosing it joins Link)</translation>
    </message>
    <message>
        <source>MIDI入力に届くクロックのテンポとスタート・ストップ・曲の位置に従います</source>
        <translation>Follows the tempo, start, stop and song position of the clock at the MIDI input</translation>
    </message>
    <message>
        <source>JACKのタイムベースマスターの小節・拍・テンポに従います</source>
        <translation>Follows the bar, beat and tempo of the JACK timebase master</translation>
    </message>
    <message>
        <source>%1～%2 BPM、Enterで決定</source>
        <translation>%1 to %2 BPM, Enter to set</translation>
    </message>
    <message>
        <source>テンポ合わせの基準にする</source>
        <translation>Use as the fit-tempo reference</translation>
    </message>
    <message>
        <source>テンポ合わせが小節（拍数×60÷BPM 秒）に合わせます</source>
        <translation>Fit tempo matches the bar (beats × 60 ÷ BPM seconds)</translation>
    </message>
    <message>
        <source>Linkの再生・停止を共有</source>
        <translation>Share Link start/stop</translation>
    </message>
    <message>
        <source>Linkの再生中だけ拍を合わせ、MIDIクロックの送信開始・停止でLinkも再生・停止します</source>
        <translation>Beats align only while Link plays; starting and stopping the MIDI clock also starts and stops Link</translation>
    </message>
    <message>
        <source>JACKトランスポートのタイムベースマスターになる</source>
        <translation>Be the JACK transport timebase master</translation>
    </message>
    <message>
        <source>このテンポと小節をJACKの他のアプリに伝えます（他にマスターがいない時）</source>
        <translation>Gives this tempo and bar to other JACK programs (when there is no other master)</translation>
    </message>
    <message>
        <source>MIDIクロック送信</source>
        <translation>MIDI clock out</translation>
    </message>
    <message>
        <source>送信開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>次の小節の頭から、曲の先頭として送ります</source>
        <translation>Sends from the next bar, as the start of the song</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>続きから</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>止めたところから送ります</source>
        <translation>Sends from where it stopped</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>テンポの元</source>
        <translation>Tempo from</translation>
    </message>
    <message>
        <source>外部と同期</source>
        <translation>Sync with</translation>
    </message>
    <message>
        <source>テンポ（BPM）</source>
        <translation>Tempo (BPM)</translation>
    </message>
    <message>
        <source>1小節の拍数</source>
        <translation>Beats per bar</translation>
    </message>
    <message>
        <source>現在</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>テンポは %1～%2 の範囲で入力してください</source>
        <translation>Type a tempo from %1 to %2</translation>
    </message>
    <message>
        <source>マスター</source>
        <translation>Master</translation>
    </message>
    <message>
        <source>他のアプリがマスターです</source>
        <translation>Another program is master</translation>
    </message>
    <message>
        <source>JACKサーバーがありません</source>
        <translation>No JACK server</translation>
    </message>
    <message>
        <source>送信先がありません</source>
        <translation>Nowhere to send</translation>
    </message>
    <message>
        <source>送信中</source>
        <translation>Sending</translation>
    </message>
    <message>
        <source>停止中</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>ピア %1、%2</source>
        <translation>%1 peers, %2</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
</context>
<context>
    <name>mt::TapTimer</name>
    <message>
        <source>すいません。ＣＤカウンターでエラーでちゃいました(^^;)このメッセージ見た人はメールください</source>
        <translation>Sorry, the CD counter hit an error (^^;) If you see this, please send us a mail</translation>
    </message>
</context>
<context>
    <name>mt::TempoMath</name>
    <message>
        <source>倍率を上げてください  (%1)トラック</source>
        <translation>Raise the ratio  (%1) track</translation>
    </message>
    <message>
        <source>倍率を下げてください  (%1)トラック</source>
        <translation>Lower the ratio  (%1) track</translation>
    </message>
</context>
<context>
    <name>mt::Track</name>
    <message>
        <source>(%1)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください</source>
        <translation>The sound of track (%1) was moved or deleted. Please assign it again</translation>
    </message>
</context>
<context>
    <name>mt::TrackFrame</name>
    <message>
        <source>WAVをロード</source>
        <translation>Load sound</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>初</source>
        <translation>R</translation>
    </message>
    <message>
        <source>再生速度</source>
        <translation>Playback speed</translation>
    </message>
    <message>
        <source>細</source>
        <translation>F</translation>
    </message>
    <message>
        <source>基準</source>
        <translation>Ref</translation>
    </message>
    <message>
        <source>速さを変えても音程を保つ（Rubber Band で変換）</source>
        <translation>Keep the pitch when the speed changes (Rubber Band)</translation>
    </message>
    <message>
        <source>音程</source>
        <translation>Pitch</translation>
    </message>
    <message>
        <source>音程（矢印で半音、「細」のときは1セント）</source>
        <translation>Pitch (arrows: a semitone, a cent with &quot;F&quot;)</translation>
    </message>
</context>
<context>
    <name>mt::TrackPanel</name>
    <message>
        <source>待機</source>
        <translation>WAIT</translation>
    </message>
    <message>
        <source>停止待ち</source>
        <translation>STOPPING</translation>
    </message>
    <message>
        <source>読込中… </source>
        <translation>Loading… </translation>
    </message>
    <message>
        <source>読込中 %1% </source>
        <translation>Loading %1% </translation>
    </message>
    <message>
        <source>変換中… </source>
        <translation>Rendering… </translation>
    </message>
    <message>
        <source>変換中 %1% </source>
        <translation>Rendering %1% </translation>
    </message>
    <message>
        <source>変換失敗 </source>
        <translation>Render failed </translation>
    </message>
    <message>
        <source>一匹狼(F3)</source>
        <translation>Lone wolf(F3)</translation>
    </message>
    <message>
        <source>このファイルはサイズが0です</source>
        <translation>This file is empty (0 bytes)</translation>
    </message>
    <message>
        <source>読み込み失敗。WAVファイルに何らかの問題があります</source>
        <translation>Load failed. Something is wrong with the file</translation>
    </message>
    <message>
        <source>ファイル名かフォルダ名に改行が入っているため、このファイルはトラックに割り当てられません。名前を変えてください</source>
        <translation>The file or folder name contains a line break, so it cannot go on a track. Please rename it</translation>
    </message>
    <message>
        <source>音程</source>
        <translation>Pitch</translation>
    </message>
</context>
<context>
    <name>mt::TrackSound</name>
    <message>
        <source>音程を保ったまま速さを変えることはできません</source>
        <translation>The speed cannot change while keeping the pitch</translation>
    </message>
</context>
<context>
    <name>mt::WavDecoder</name>
    <message>
        <source>%1ファイルの音声データを読み取れません。</source>
        <translation>Cannot read the audio data of the %1 file.</translation>
    </message>
    <message>
        <source>%1ファイルの形式情報が不正です。</source>
        <translation>The format data of the %1 file is invalid.</translation>
    </message>
    <message>
        <source>WAVファイルとして読み取れない形式です。</source>
        <translation>Not a WAV file that can be read.</translation>
    </message>
    <message>
        <source>WAV、FLAC、Ogg Vorbis、Opus、MP3、AIFFのどれでもありません。</source>
        <translation>Not WAV, FLAC, Ogg Vorbis, Opus, MP3 or AIFF.</translation>
    </message>
    <message>
        <source>WAVファイルの形式情報が不正です。</source>
        <translation>The format data of the WAV file is invalid.</translation>
    </message>
    <message>
        <source>WAVファイルに音声データがありません。</source>
        <translation>The WAV file has no audio data.</translation>
    </message>
    <message>
        <source>WAVファイルの音声データを読み取れません。</source>
        <translation>Cannot read the audio data of the WAV file.</translation>
    </message>
    <message>
        <source>WAVファイルの中身が空です。</source>
        <translation>The WAV file is empty.</translation>
    </message>
</context>
<context>
    <name>mt::WavInfoText</name>
    <message>
        <source>ビット,</source>
        <translation>bit,</translation>
    </message>
    <message>
        <source>モノラル</source>
        <translation>mono</translation>
    </message>
    <message>
        <source>ステレオ</source>
        <translation>stereo</translation>
    </message>
</context>
<context>
    <name>mt::WavInfoWindow</name>
    <message>
        <source>WAVファイル情報 - %1トラック</source>
        <translation>WAV file info - track %1</translation>
    </message>
    <message>
        <source>形式：</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>ファイル ： %1</source>
        <translation>File: %1</translation>
    </message>
    <message>
        <source>サイズ ： %1kB</source>
        <translation>Size: %1kB</translation>
    </message>
    <message>
        <source>一匹狼： ON</source>
        <translation>Lone wolf: ON</translation>
    </message>
    <message>
        <source>一匹狼： OFF</source>
        <translation>Lone wolf: OFF</translation>
    </message>
</context>
</TS>
