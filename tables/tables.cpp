#include "tables.h"

#include <QStringList>

const std::array<QString, MoongateRotation> moongateDestinations = {
    QStringLiteral("케오섬"),
    QStringLiteral("타라"),
    QStringLiteral("티르코네일"),
    QStringLiteral("코일던전"),
    QStringLiteral("티르코네일"),
    QStringLiteral("라비던전"),
    QStringLiteral("이멘마하"),
    QStringLiteral("가이레흐"),
    QStringLiteral("탈틴"),
    QStringLiteral("마스던전"),
    QStringLiteral("던바튼"),
    QStringLiteral("탈틴"),
    QStringLiteral("타라"),
    QStringLiteral("반호르"),
    QStringLiteral("케안항구"),
    QStringLiteral("피오드던전"),
    QStringLiteral("던바튼"),
    QStringLiteral("키아던전"),
    QStringLiteral("두갈드아일"),
    QStringLiteral("타라"),
    QStringLiteral("알비던전"),
    QStringLiteral("페카던전"),
    QStringLiteral("케오섬"),
    QStringLiteral("반호르"),
    QStringLiteral("이멘마하"),
};

const std::array<PartTimeJob, ShopCount> partTimeJobs = {{
    { QStringLiteral("꽃가게"), 720, 1440 },
    { QStringLiteral("대장간"), 1080, 1710 },
    { QStringLiteral("도서관"), 810, 1710 },
    { QStringLiteral("레스토랑"), 1080, 1890 },
    { QStringLiteral("무기점"), 1350, 1980 },
    { QStringLiteral("서점"), 1170, 1800 },
    { QStringLiteral("성당"), 1080, 1890 },
    { QStringLiteral("식료품점"), 1080, 1890 },
    { QStringLiteral("여관"), 630, 1710 },
    { QStringLiteral("의류점"), 630, 1710 },
    { QStringLiteral("음악상점"), 900, 1350 },
    { QStringLiteral("잡화점"), 630, 1710 },
    { QStringLiteral("전망대"), 630, 1710 },
    { QStringLiteral("힐러집"), 540, 1350 },
    { QStringLiteral("채굴장"), 900, 2070 },
}};

const std::array<QString, WeekDays> dayNames = {
    QStringLiteral("임볼릭 (Imbolic)"),
    QStringLiteral("알반 에일레르 (Alban Eiler)"),
    QStringLiteral("벨테인 (Beltane)"),
    QStringLiteral("알반 헤루인 (Alban Heruin)"),
    QStringLiteral("루나사 (Lughnasadh)"),
    QStringLiteral("알반 엘베드 (Alban Elved)"),
    QStringLiteral("삼하인 (Samhain)"),
};

const std::array<QString, WeekDays> dayEffects = {
    QStringLiteral("크리티컬 및 럭키 피니쉬 확률 상승\n연주 및 마법음악 성공률 증가\n마법음악 길들이기 확률 증가"),
    QStringLiteral("생산직 스킬의 성공가능성 증가\n생활계열 스킬 랭크업시 보너스 증가 (110%)\n물건을 생산할 때 생산품의 품질의 향상"),
    QStringLiteral("던전에서 아이템 나올 확률 증가\n같은 아이템을 던져도 던전의 모양까지 바뀜 \n전투계열 스킬 랭크업시 보너스 증가"),
    QStringLiteral("채집 확률 증가, 상점가 및 은행 수수료 5% 할인\n스킬 완전수련시 얻는 경험치 증가 (110%)"),
    QStringLiteral("인챈트 성공률 증가\n마법관련 스킬 랭크업시 보너스 증가\n장비를 사용할 때 얻는 숙련도 증가"),
    QStringLiteral("행동불능이 되었을 때 잃는 페널티 감소\n모든 포션의 효과 상승\n퀘스트 성공시 보상 증가"),
    QStringLiteral("나이를 먹고, 나이에 따른 AP를 얻음\n음식 복용시 효과 상승\nL로드 효과 증가\n조금 움직이는 동물도 스케치 가능\n연금술의 생산 품질 및 확률 증가"),
};

const std::array<QString, WeekDays> dayItems = {
    QStringLiteral("염색앰플\n금속 염색 앰플\n(이상 모두 유효기간 7일)"),
    QStringLiteral("완전 회복의 포션\n회복 속도 증가의 포션\n원격 연금술사의 집 이용권"),
    QStringLiteral("원격 무기 상점 이용권\n원격 의류 수리 이용권"),
    QStringLiteral("캠프키트(유효기간 : 7일)\n원격 대장간 이용권"),
    QStringLiteral("캠프 파이어 키트\n원격 은행 이용권\n원격 관청 이용권"),
    QStringLiteral("원격 힐러집 이용권\n거대한 외침의 뿔피리(유효기간 : 7일)\n외침의 뿔피리 (유효기간 : 7일)"),
    QStringLiteral("생명의 엘릭서\n마나의 엘릭서\n스태미나의 엘릭서\n(이상 모두 유효기간 7일)"),
};

const std::array<QString, MerchantRoute> merchantLocations = {
    QStringLiteral("센마이평원에서 이멘 오는길에 움집터"),
    QStringLiteral("드래곤유적지 동남쪽 집"),
    QStringLiteral("바리던전 옆"),
    QStringLiteral("던바튼 학교앞"),
    QStringLiteral("두갈드아일 벌목캠프 움집"),
    QStringLiteral("티르코네일 여관"),
    QStringLiteral("두갈드아일 벌목캠프 움집"),
    QStringLiteral("던바튼 동쪽 감자밭 천막"),
    QStringLiteral("드래곤유적지 동남쪽 집"),
    QStringLiteral("반호르 주점"),
    QStringLiteral("센마이평원에서 이멘 오는길에 움집터"),
    QStringLiteral("이멘마하 무기점 뒷골목"),
    QStringLiteral("케오섬"),
    QStringLiteral("이멘마하 남쪽다리 중간 섬"),
};

namespace {

QString gameClock(int minutes)
{
    return QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0'))
            .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString hoursText(const GameHours &hours)
{
    return gameClock(hours.from) + QStringLiteral(" ~ ") + gameClock(hours.to);
}

QString hoursNotice()
{
    QStringList each;
    for (const GameHours &hours : secondMerchantHours)
        each << hoursText(hours);
    return QStringLiteral("에린시각 ") + each.join(QStringLiteral(", "));
}

QString secondMerchantPlace()
{
    return QStringLiteral("센마이 평원 중앙 삼거리 근처");
}

QString placeNotice()
{
    return QStringLiteral("위치: ") + secondMerchantPlace();
}

QString creditLine()
{
    return QStringLiteral("이 프로그램은 타르베넬 타임즈(http://www.tarvenel-times.example)"
                          "의 정보를 바탕으로 제작하였습니다.");
}
