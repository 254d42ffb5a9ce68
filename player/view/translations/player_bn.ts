<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="bn">
<context>
    <name>player::MediaPlayer</name>
    <message>
        <source>Play</source>
        <translation>চালান</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>থামান</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>নিঃশব্দ</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>ভলিউম</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>বিরতি</translation>
    </message>
    <message>
        <source>Volume up</source>
        <translation>ভলিউম বাড়ান</translation>
    </message>
    <message>
        <source>Volume down</source>
        <translation>ভলিউম কমান</translation>
    </message>
    <message>
        <source>Volume %1%</source>
        <translation>ভলিউম %1%</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>প্রস্তুত</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>সংযোগ হচ্ছে</translation>
    </message>
    <message>
        <source>Buffering %1%</source>
        <translation>বাফার হচ্ছে %1%</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>বাজছে</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>বিরতিতে</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>বন্ধ</translation>
    </message>
    <message>
        <source>Reconnecting</source>
        <translation>আবার সংযোগ হচ্ছে</translation>
    </message>
    <message>
        <source>Could not open: %1</source>
        <translation>খোলা গেল না: %1</translation>
    </message>
    <message>
        <source>No station</source>
        <translation>কোনো স্টেশন নেই</translation>
    </message>
    <message>
        <source>Reconnecting: %1</source>
        <translation>আবার সংযোগ হচ্ছে: %1</translation>
    </message>
</context>
<context>
    <name>player::Reason</name>
    <message>
        <source>refused</source>
        <translation>সংযোগ প্রত্যাখ্যাত</translation>
    </message>
    <message>
        <source>unknown host</source>
        <translation>অজানা হোস্ট</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>সাড়া নেই</translation>
    </message>
    <message>
        <source>too many redirects</source>
        <translation>অনেক বেশি পুনঃনির্দেশ</translation>
    </message>
    <message>
        <source>connection closed</source>
        <translation>সংযোগ বিচ্ছিন্ন</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>পাওয়া যায়নি</translation>
    </message>
    <message>
        <source>access denied</source>
        <translation>প্রবেশের অনুমতি নেই</translation>
    </message>
    <message>
        <source>network error</source>
        <translation>নেটওয়ার্কে সমস্যা</translation>
    </message>
    <message>
        <source>empty answer</source>
        <translation>ফাঁকা উত্তর</translation>
    </message>
    <message>
        <source>not a stream</source>
        <translation>এটি স্ট্রিম নয়</translation>
    </message>
    <message>
        <source>the network answered with a web page</source>
        <translation>নেটওয়ার্ক একটি ওয়েব পেজ দিয়ে উত্তর দিয়েছে</translation>
    </message>
    <message>
        <source>bad address</source>
        <translation>ভুল ঠিকানা</translation>
    </message>
    <message>
        <source>unsupported address</source>
        <translation>অসমর্থিত ঠিকানা</translation>
    </message>
    <message>
        <source>playlist loop</source>
        <translation>প্লেলিস্ট নিজের দিকেই ফিরে আসে</translation>
    </message>
    <message>
        <source>unreadable playlist</source>
        <translation>প্লেলিস্ট পড়া যায় না</translation>
    </message>
    <message>
        <source>playlists too deep</source>
        <translation>প্লেলিস্টের স্তর অনেক বেশি</translation>
    </message>
    <message>
        <source>too many entries</source>
        <translation>প্লেলিস্টে এন্ট্রি অনেক বেশি</translation>
    </message>
    <message>
        <source>nothing to play</source>
        <translation>চালানোর মতো কিছু নেই</translation>
    </message>
    <message>
        <source>unreachable</source>
        <translation>পৌঁছানো যাচ্ছে না</translation>
    </message>
    <message>
        <source>unknown format</source>
        <translation>অজানা ফরম্যাট</translation>
    </message>
    <message>
        <source>broken stream metadata</source>
        <translation>স্ট্রিমের মেটাডেটা ত্রুটিপূর্ণ</translation>
    </message>
    <message>
        <source>no audio</source>
        <translation>কোনো শব্দ নেই</translation>
    </message>
    <message>
        <source>no sound device</source>
        <translation>সাউন্ড ডিভাইস নেই</translation>
    </message>
    <message>
        <source>unsupported</source>
        <translation>অসমর্থিত</translation>
    </message>
    <message>
        <source>no engine</source>
        <translation>প্লেয়ার চালু হলো না</translation>
    </message>
    <message>
        <source>engine error</source>
        <translation>প্লেয়ারে সমস্যা</translation>
    </message>
    <message>
        <source>server error %1</source>
        <translation>সার্ভারে সমস্যা (%1)</translation>
    </message>
    <message>
        <source>server too slow</source>
        <translation>সার্ভার খুব ধীর</translation>
    </message>
    <message>
        <source>insecure redirect refused</source>
        <translation>অনিরাপদ পুনঃনির্দেশ প্রত্যাখ্যাত</translation>
    </message>
    <message>
        <source>redirect without an address</source>
        <translation>ঠিকানা ছাড়া পুনঃনির্দেশ</translation>
    </message>
    <message>
        <source>station&apos;s certificate not trusted</source>
        <translation>স্টেশনের সার্টিফিকেট বিশ্বাসযোগ্য নয়</translation>
    </message>
    <message>
        <source>content coding not understood</source>
        <translation>কনটেন্টের এনকোডিং বোঝা যায়নি</translation>
    </message>
    <message>
        <source>address of a kind not played</source>
        <translation>এই ধরনের ঠিকানা চালানো হয় না</translation>
    </message>
    <message>
        <source>port of another service</source>
        <translation>অন্য কোনো সেবার পোর্ট</translation>
    </message>
    <message>
        <source>station leads into your own network</source>
        <translation>স্টেশনটি আপনার নিজের নেটওয়ার্কে নিয়ে যায়</translation>
    </message>
</context>
</TS>
