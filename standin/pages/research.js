// The keyword mining and keyword reverse pages: header, search form with the
// marketplace and period dropdowns, results table, word frequencies and the
// historical-trend drawer. The server states who is logged in through
// window.STANDIN; every figure comes from the page's background calls.
(function () {
  'use strict';

  var state = window.STANDIN || {};
  var REVERSE = state.page === 'reverse';
  var LOGIN_URL = '/w/user/login?callback=' + (REVERSE ? '/v3/keyword-reverse' : '/v3/keyword-miner');
  var SITES = [['us', '美国站'], ['jp', '日本站'], ['uk', '英国站'], ['de', '德国站'], ['fr', '法国站'],
    ['it', '意大利站'], ['es', '西班牙站'], ['ca', '加拿大站'], ['mx', '墨西哥站'], ['in', '印度站'],
    ['br', '巴西站'], ['au', '澳洲站'], ['ae', '阿联酋']];
  var PERIODS = [['30d', '最近30天'], ['90d', '最近90天'], ['180d', '最近180天'], ['365d', '最近一年']];
  var TREND_TABS = [['search', '搜索趋势'], ['google', 'Google Trends'], ['aba', 'ABA集中度'],
    ['ppc', 'PPC竞价'], ['market', '市场分析']];
  var API = REVERSE ? {
    list: '/v3/api/relation/reversing',
    frequency: '/v3/api/relation/ta/high-frequency-words-new',
    monthly: '/v3/api/relation/ta/monthly',
    stats: '/v3/api/relation/stat-keywords'
  } : {
    list: '/v3/api/keyword-miner',
    frequency: '/v3/api/keyword-miner/high/frequency-new'
  };

  var form = { site: 'us', period: '30d', phrase: '1' };
  var lastSearch = null;

  function escapeHtml(value) {
    return String(value).replace(/[&<>"']/g, function (c) {
      return { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' }[c];
    });
  }

  function formatNumber(value) {
    return typeof value === 'number' ? value.toLocaleString('en-US') : '-';
  }

  function element(html) {
    var holder = document.createElement('div');
    holder.innerHTML = html.trim();
    return holder.firstChild;
  }

  // Answers the parsed JSON of a same-origin call; fails on any non-JSON answer.
  function callApi(url, body) {
    var request = body === undefined ? fetch(url, { credentials: 'same-origin' }) : fetch(url, {
      method: 'POST',
      credentials: 'same-origin',
      headers: { 'Content-Type': 'application/json;charset=UTF-8' },
      body: JSON.stringify(body)
    });
    return request.then(function (response) { return response.json(); });
  }

  function itemsOf(payload) {
    return payload && payload.data && Array.isArray(payload.data.items) ? payload.data.items : [];
  }

  // ---- header and page states ------------------------------------------------

  function renderHeader() {
    document.querySelectorAll('.main-nav a').forEach(function (link) {
      link.classList.toggle('active', link.getAttribute('data-page') === state.page);
    });
    var area = document.getElementById('user-area');
    if (state.loggedIn) {
      area.innerHTML = '<span class="user-name">' + escapeHtml(state.user) + '</span>' +
        '<a href="/w/user/logout">退出</a>';
    } else {
      area.innerHTML = '<span class="user-badge">' + (state.guest ? '游客' : '未登录') + '</span>' +
        '<a href="' + LOGIN_URL + '">登录 / 注册</a>';
    }
  }

  function renderCaptcha(content) {
    content.innerHTML = '<div id="captcha" class="captcha-container">' +
      '<div class="captcha-title">请完成安全验证</div>' +
      '<p>访问过于频繁，请拖动滑块完成验证后继续使用。</p>' +
      '<div class="slider-captcha">拖动滑块完成拼图<span class="slider-handle">›</span></div></div>';
  }

  function renderLoginInvite(content) {
    content.innerHTML = '<section class="panel empty-state"><p>登录后即可使用' +
      (REVERSE ? '关键词反查' : '关键词挖掘') + '，查看完整数据</p>' +
      '<a class="el-button el-button--primary" href="' + LOGIN_URL + '">去登录</a></section>';
  }

  // ---- dropdowns -------------------------------------------------------------

  var dropdowns = [];

  function closeDropdowns() {
    dropdowns.forEach(function (dropdown) {
      dropdown.menu.style.display = 'none';
      dropdown.select.classList.remove('is-open');
    });
  }

  // Turns the .el-select `select` into a dropdown over `options` ([code, label])
  // whose chosen code is kept in form[field].
  function makeDropdown(select, options, field) {
    var input = select.querySelector('input');
    var menu = element('<div class="el-select-dropdown el-popper" style="display:none">' +
      '<ul class="el-select-dropdown__list"></ul></div>');
    var list = menu.querySelector('ul');
    options.forEach(function (option) {
      var item = element('<li class="el-select-dropdown__item"><span>' + escapeHtml(option[1]) + '</span></li>');
      item.addEventListener('click', function (event) {
        event.stopPropagation();
        form[field] = option[0];
        input.value = option[1];
        list.querySelectorAll('.el-select-dropdown__item').forEach(function (other) {
          other.classList.toggle('selected', other === item);
        });
        closeDropdowns();
      });
      if (option[0] === form[field]) {
        item.classList.add('selected');
        input.value = option[1];
      }
      list.appendChild(item);
    });
    document.body.appendChild(menu);
    var dropdown = { select: select, menu: menu };
    dropdowns.push(dropdown);
    select.addEventListener('click', function (event) {
      event.stopPropagation();
      var wasOpen = menu.style.display !== 'none';
      closeDropdowns();
      if (wasOpen) return;
      var box = select.getBoundingClientRect();
      menu.style.left = (box.left + window.scrollX) + 'px';
      menu.style.top = (box.bottom + window.scrollY + 4) + 'px';
      menu.style.display = 'block';
      select.classList.add('is-open');
    });
  }

  document.addEventListener('click', closeDropdowns);

  // ---- search form -----------------------------------------------------------

  function selectHtml(extraClass) {
    return '<div class="el-select ' + extraClass + '"><div class="el-input el-input--suffix">' +
      '<input type="text" readonly autocomplete="off" placeholder="请选择" class="el-input__inner">' +
      '<span class="el-input__suffix"><i class="el-select__caret"></i></span></div></div>';
  }

  function radioHtml(value, label) {
    var checked = form.phrase === value ? ' is-checked' : '';
    return '<label class="el-radio' + checked + '"><span class="el-radio__input' + checked + '">' +
      '<span class="el-radio__inner"></span>' +
      '<input type="radio" class="el-radio__original" name="phrase" value="' + value + '"' +
      (checked ? ' checked' : '') + '></span><span class="el-radio__label">' + label + '</span></label>';
  }

  function renderSearch(content) {
    var placeholder = REVERSE ? '请输入ASIN或产品链接，如 B0C1234567' : '请输入关键词，如 yoga mat';
    var phraseRow = REVERSE ? '' :
      '<div class="phrase-row"><span>词频统计：</span><div class="el-radio-group">' +
      radioHtml('1', '一个词') + radioHtml('2', '两个词') + radioHtml('custom', '自定义') +
      '<div class="el-input-number el-input-number--small"><span class="el-input-number__decrease">－</span>' +
      '<span class="el-input-number__increase">＋</span><div class="el-input el-input--small">' +
      '<input type="text" class="el-input__inner" value="3" autocomplete="off"></div></div></div></div>';
    content.innerHTML =
      '<section class="panel search-panel"><h2 class="panel-title">' + (REVERSE ? '关键词反查' : '关键词挖掘') + '</h2>' +
      '<div class="search-row"><div class="el-input el-input-group el-input-group--prepend">' +
      '<div class="el-input-group__prepend">' + selectHtml('site-select') + selectHtml('date-select') + '</div>' +
      '<input type="text" class="el-input__inner" id="subject" autocomplete="off" placeholder="' + placeholder + '">' +
      '</div>' + (state.hideQueryButton ? '' :
        '<button type="button" class="el-button el-button--primary" id="query-button"><span>立即查询</span></button>') +
      '</div>' + phraseRow + '</section>' +
      '<section class="panel result-panel"><div class="result-status" id="result-status">输入' +
      (REVERSE ? 'ASIN' : '关键词') + '后点击“立即查询”</div>' +
      '<div class="result-layout"><div class="result-main"><table class="el-table"><thead><tr>' +
      '<th>关键词</th><th class="num">月搜索量</th><th class="num">' + (REVERSE ? '自然排名' : '购买率') + '</th>' +
      '<th class="num">商品数</th><th class="num">PPC竞价</th></tr></thead><tbody id="result-rows"></tbody></table></div>' +
      '<aside class="side-box"><h3>高频词</h3><ul class="word-list" id="frequency-words"><li>暂无数据</li></ul>' +
      (REVERSE ? '<h3>数据概览</h3><ul class="word-list" id="reverse-summary"><li>暂无数据</li></ul>' : '') +
      '</aside></div></section>';

    makeDropdown(content.querySelector('.site-select'), SITES, 'site');
    makeDropdown(content.querySelector('.date-select'), PERIODS, 'period');
    content.querySelector('#query-button').addEventListener('click', runSearch);
    content.querySelector('#subject').addEventListener('keydown', function (event) {
      if (event.key === 'Enter') runSearch();
    });
    if (!REVERSE) bindPhraseRadios(content);
  }

  function phraseCount() {
    if (form.phrase !== 'custom') return Number(form.phrase);
    var text = document.querySelector('.el-input-number input').value.trim();
    var number = Number(text);
    return text !== '' && Number.isInteger(number) ? number : text;
  }

  var phraseTimer = null;
  var frequencyRequest = 0;  // answers of an earlier phrase length are ignored

  function bindPhraseRadios(content) {
    content.querySelectorAll('input[name=phrase]').forEach(function (radio) {
      radio.addEventListener('change', function () {
        form.phrase = radio.value;
        content.querySelectorAll('label.el-radio').forEach(function (label) {
          var checked = label.contains(radio);
          label.classList.toggle('is-checked', checked);
          label.querySelector('.el-radio__input').classList.toggle('is-checked', checked);
        });
        loadFrequency();
      });
    });
    var numberInput = content.querySelector('.el-input-number input');
    numberInput.addEventListener('input', function () {
      if (form.phrase !== 'custom') return;
      clearTimeout(phraseTimer);
      phraseTimer = setTimeout(loadFrequency, 150);
    });
    content.querySelectorAll('.el-input-number__decrease, .el-input-number__increase').forEach(function (button) {
      button.addEventListener('click', function () {
        var step = button.classList.contains('el-input-number__increase') ? 1 : -1;
        numberInput.value = String(Math.max(1, (parseInt(numberInput.value, 10) || 1) + step));
        numberInput.dispatchEvent(new Event('input'));
      });
    });
  }

  function setStatus(text, isError) {
    var status = document.getElementById('result-status');
    status.textContent = text;
    status.classList.toggle('is-error', !!isError);
  }

  function searchBody() {
    var subject = document.getElementById('subject').value.trim();
    var body = { site: form.site, market: form.site.toUpperCase(), period: form.period, month: form.period,
      page: 1, size: 50 };
    body[REVERSE ? 'asin' : 'keyword'] = subject;
    return body;
  }

  function apiUrl(path) {
    return REVERSE ? path + '?market=' + encodeURIComponent(lastSearch.market) : path;
  }

  function runSearch() {
    lastSearch = searchBody();
    if (!REVERSE && state.brokenKeyword && lastSearch.keyword === state.brokenKeyword) {
      document.querySelector('.phrase-row').remove();
    }
    setStatus('查询中…');
    document.getElementById('result-rows').innerHTML = '';
    callApi(apiUrl(API.list), lastSearch).then(renderRows, function () {
      setStatus('数据加载失败，请稍后重试', true);
    });
    loadFrequency();
    if (REVERSE) loadSummary();
  }

  function loadFrequency() {
    if (!lastSearch) return;
    var body = Object.assign({}, lastSearch);
    if (!REVERSE) body.phraseCount = phraseCount();
    var request = ++frequencyRequest;
    callApi(apiUrl(API.frequency), body).then(function (payload) {
      if (request === frequencyRequest) renderFrequency(payload);
    }, function () {
      if (request === frequencyRequest) renderWordList('frequency-words', []);
    });
  }

  function loadSummary() {
    var summary = [];
    Promise.all([
      callApi(apiUrl(API.monthly), lastSearch).then(function (payload) {
        itemsOf(payload).slice(-3).forEach(function (item) {
          summary.push([item.month + ' 搜索量', formatNumber(item.searches)]);
        });
      }, function () {}),
      callApi(apiUrl(API.stats), lastSearch).then(function (payload) {
        var data = payload && payload.data;
        if (data) summary.unshift(['关键词总数', formatNumber(data.keywordCount)], ['AC 关键词', formatNumber(data.acCount)]);
      }, function () {})
    ]).then(function () { renderWordList('reverse-summary', summary); });
  }

  function renderWordList(id, pairs) {
    var list = document.getElementById(id);
    list.innerHTML = pairs.length ? pairs.map(function (pair) {
      return '<li><span>' + escapeHtml(pair[0]) + '</span><span class="count">' + escapeHtml(pair[1]) + '</span></li>';
    }).join('') : '<li>暂无数据</li>';
  }

  function renderFrequency(payload) {
    renderWordList('frequency-words', itemsOf(payload).slice(0, 15).map(function (item) {
      return [item.keyword, String(item.frequency)];
    }));
  }

  function keywordOf(item) {
    return item.keyword || item.keywords || item.term || '';
  }

  function renderRows(payload) {
    var items = itemsOf(payload);
    var rows = document.getElementById('result-rows');
    rows.innerHTML = items.map(function (item, index) {
      var keyword = keywordOf(item);
      return '<tr class="el-table__row"><td class="col-keyword"><div class="cell">' +
        '<div class="keyword-head"><div class="rank-no">' + (index + 1) + '</div>' +
        (item.amazonChoice ? '<div class="ac-line"><span class="ac-badge">AC</span></div>' : '') + '</div>' +
        '<div class="keyword-main"><div class="keyword-text">' + escapeHtml(keyword) + '</div>' +
        '<div class="keyword-tools"><i class="iconfont icon-historical-trend" title="历史趋势" data-index="' + index + '"></i></div>' +
        '</div></div></td>' +
        '<td class="num">' + formatNumber(item.searches) + '</td>' +
        '<td class="num">' + (REVERSE ? formatNumber(item.position) : (typeof item.purchaseRate === 'number' ? item.purchaseRate + '%' : '-')) + '</td>' +
        '<td class="num">' + formatNumber(item.products) + '</td>' +
        '<td class="num">' + (typeof item.bid === 'number' ? '$' + item.bid.toFixed(2) : '-') + '</td></tr>';
    }).join('');
    rows.querySelectorAll('.icon-historical-trend').forEach(function (icon) {
      icon.addEventListener('click', function () { openDrawer(keywordOf(items[Number(icon.getAttribute('data-index'))])); });
    });
    setStatus(items.length ? '共 ' + items.length + ' 条结果' : '暂无数据');
  }

  // ---- trend drawer ----------------------------------------------------------

  var drawer = null;
  var drawerKeyword = '';
  var trendRequest = 0;  // answers of a tab left since are ignored

  function buildDrawer() {
    drawer = element('<div class="el-drawer__wrapper" style="display:none"><div class="el-drawer rtl" role="dialog">' +
      '<div id="search-anlysis-drawer-echarts-trends" class="trend-drawer-body">' +
      '<div class="drawer-header"><span class="drawer-title"></span><span class="' + state.closeButtonClass +
      '" title="关闭">×</span></div>' +
      '<div class="el-tabs el-tabs--top"><div class="el-tabs__header"><div class="el-tabs__nav" role="tablist">' +
      TREND_TABS.map(function (tab) {
        return '<div class="el-tabs__item" role="tab" data-tab="' + tab[0] + '">' + tab[1] + '</div>';
      }).join('') +
      '</div></div><div class="el-tabs__content"><svg class="trend-chart" viewBox="0 0 700 280"></svg>' +
      '<div class="trend-note"></div></div></div></div></div></div>');
    drawer.querySelector('.' + state.closeButtonClass).addEventListener('click', function () { drawer.style.display = 'none'; });
    drawer.querySelectorAll('.el-tabs__item').forEach(function (tab) {
      tab.addEventListener('click', function () { showTab(tab.getAttribute('data-tab')); });
    });
    document.body.appendChild(drawer);
  }

  function openDrawer(keyword) {
    if (!drawer) buildDrawer();
    drawerKeyword = keyword;
    drawer.querySelector('.drawer-title').textContent = '历史趋势：' + keyword;
    drawer.style.display = 'block';
    showTab('search');
  }

  function showTab(key) {
    drawer.querySelectorAll('.el-tabs__item').forEach(function (tab) {
      tab.classList.toggle('is-active', tab.getAttribute('data-tab') === key);
    });
    var note = drawer.querySelector('.trend-note');
    note.textContent = '加载中…';
    var url = '/v3/api/trends/' + key + '?keyword=' + encodeURIComponent(drawerKeyword) + '&site=' + form.site;
    var request = ++trendRequest;
    callApi(url).then(function (payload) {
      if (request !== trendRequest) return;
      var series = payload && payload.data && Array.isArray(payload.data.series) ? payload.data.series : [];
      drawChart(series);
      note.textContent = series.length ? '数据来源：卖家精灵，按月统计' : '暂无数据';
    }, function () {
      if (request !== trendRequest) return;
      drawChart([]);
      note.textContent = '数据加载失败';
    });
  }

  function drawChart(series) {
    var svg = drawer.querySelector('.trend-chart');
    var left = 40, top = 20, width = 640, height = 220;
    var parts = ['<line class="axis" x1="' + left + '" y1="' + (top + height) + '" x2="' + (left + width) +
      '" y2="' + (top + height) + '"/>'];
    if (series.length) {
      var max = Math.max.apply(null, series.map(function (point) { return point.value; })) || 1;
      var step = series.length > 1 ? width / (series.length - 1) : 0;
      parts.push('<polyline class="line" points="' + series.map(function (point, i) {
        return (left + i * step).toFixed(1) + ',' + (top + height - point.value / max * height).toFixed(1);
      }).join(' ') + '"/>');
      series.forEach(function (point, i) {
        if (i % 2 === 0) {
          parts.push('<text x="' + (left + i * step - 18).toFixed(1) + '" y="' + (top + height + 18) + '">' +
            escapeHtml(point.date) + '</text>');
        }
      });
    }
    svg.innerHTML = parts.join('');
  }

  // ---- start -----------------------------------------------------------------

  renderHeader();
  var content = document.getElementById('content');
  if (state.captcha) {
    renderCaptcha(content);
  } else if (!state.loggedIn) {
    renderLoginInvite(content);
  } else {
    renderSearch(content);
  }
  if (state.captchaFrame) {
    var sizes = {
      badge: 'position:fixed;right:8px;bottom:8px;width:40px;height:24px',
      hidden: 'position:fixed;right:8px;bottom:8px;width:304px;height:78px;visibility:hidden',
      challenge: 'position:fixed;left:40%;top:30%;width:300px;height:300px'
    };
    document.body.appendChild(element('<iframe class="captcha-frame" title="captcha" src="about:blank#captcha-' +
      state.captchaFrame + '" style="border:0;' + sizes[state.captchaFrame] + '"></iframe>'));
  }
  if (state.neverIdle) {
    // Two chains of heartbeats that the site holds for a second each, started
    // half a second apart: one is always in flight, however late timers run.
    // A failed call (the site stopped) is tried again after a pause.
    var beat = function () {
      fetch('/v3/api/user/heartbeat', { credentials: 'same-origin' }).then(
        function () { beat(); }, function () { setTimeout(beat, 300); });
    };
    beat();
    setTimeout(beat, 500);
  }
})();
